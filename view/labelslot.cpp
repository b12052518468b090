#include "view/labelslot.h"

#include <QBoxLayout>
#include <QLabel>

LabelSlot::LabelSlot(QLabel *label) : QWidgetItem(label) {}

void LabelSlot::install(QLabel *label)
{
    const QSizePolicy policy = label->sizePolicy();
    if (policy.horizontalPolicy() != QSizePolicy::Ignored ||
        policy.verticalPolicy() != QSizePolicy::Ignored || !label->parentWidget() ||
        label->minimumSize() != QSize(0, 0) ||
        label->maximumSize() != QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX))
        return;
    auto *box = qobject_cast<QBoxLayout *>(label->parentWidget()->layout());
    const int index = box ? box->indexOf(label) : -1;
    if (index < 0)
        return;
    const int stretch = box->stretch(index);
    delete box->takeAt(index);
    box->insertItem(index, new LabelSlot(label));
    box->setStretch(index, stretch);
}

// What the layout saw of the label before it was held at a fixed size: an Ignored policy
// asks for nothing and takes whatever it is given.
QSize LabelSlot::sizeHint() const
{
    return QSize(0, 0);
}

QSize LabelSlot::minimumSize() const
{
    return QSize(0, 0);
}

QSize LabelSlot::maximumSize() const
{
    if (isEmpty())
        return QSize(0, 0);
    return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void LabelSlot::setGeometry(const QRect &rect)
{
    if (isEmpty())
        return;
    // Unchanged sizes return early in Qt: only a real resize invalidates the layout once more.
    widget()->setFixedSize(rect.size());
    widget()->setGeometry(rect);
}

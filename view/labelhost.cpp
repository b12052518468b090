#include "view/labelhost.h"

#include <QBoxLayout>
#include <QEvent>
#include <QLabel>

LabelHost *LabelHost::install(QLabel *label)
{
    QWidget *parent = label->parentWidget();
    auto *box = qobject_cast<QBoxLayout *>(parent ? parent->layout() : nullptr);
    const int index = box ? box->indexOf(label) : -1;
    if (index < 0)
        return nullptr;
    const int stretch = box->stretch(index);
    const Qt::Alignment alignment = box->itemAt(index)->alignment();
    delete box->takeAt(index);
    auto *host = new LabelHost(label, parent);
    box->insertWidget(index, host, stretch, alignment);
    return host;
}

LabelHost::LabelHost(QLabel *label, QWidget *parent) : QWidget(parent), m_pLabel(label)
{
    setObjectName(label->objectName() + QStringLiteral("_host"));
    setSizePolicy(label->sizePolicy());
    setMinimumSize(label->minimumSize());
    setMaximumSize(label->maximumSize());
    const bool hidden = label->isHidden();
    label->setParent(this);
    label->move(0, 0);
    if (!hidden)
        label->show();
}

QSize LabelHost::sizeHint() const
{
    m_hint = m_pLabel->sizeHint();
    return m_hint;
}

QSize LabelHost::minimumSizeHint() const
{
    m_minimumHint = m_pLabel->minimumSizeHint();
    return m_minimumHint;
}

bool LabelHost::hasHeightForWidth() const
{
    return m_pLabel->hasHeightForWidth();
}

int LabelHost::heightForWidth(int width) const
{
    return m_pLabel->heightForWidth(width);
}

void LabelHost::checkHints()
{
    if (m_pLabel->sizeHint() != m_hint || m_pLabel->minimumSizeHint() != m_minimumHint)
        updateGeometry();
}

bool LabelHost::event(QEvent *event)
{
    // A label without a layout above it posts its new geometry here while the host is shown;
    // one that changed while hidden is checked when shown.
    if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show)
        checkHints();
    return QWidget::event(event);
}

void LabelHost::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_pLabel->setGeometry(rect());
}

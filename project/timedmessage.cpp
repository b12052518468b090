#include "project/timedmessage.h"

#include "project/messagedialog.h"

#include <QTimer>

namespace {
constexpr int MESSAGE_LIFETIME_MS = 5000;
}

MessageDialog *showTimedMessage(QWidget *parent, const QString &title, const QString &text)
{
    auto *dialog = new MessageDialog(title, text, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The dialog owns its timer: a message closed early by its button takes its timer along
    // instead of leaving it to fire on a deleted object.
    auto *timer = new QTimer(dialog);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, dialog, &QWidget::close);
    timer->start(MESSAGE_LIFETIME_MS);
    dialog->show();
    return dialog;
}

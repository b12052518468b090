#pragma once

#include <QString>

class MessageDialog;
class QWidget;

// Shows a message without waiting for it. The dialog closes itself after 5000 ms (or on
// "CLOSE") and is deleted on close, so repeated messages never pile up in memory.
MessageDialog *showTimedMessage(QWidget *parent, const QString &title, const QString &text);

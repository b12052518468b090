#pragma once

#include "project/messagedialog.h"

#include <QGroupBox>
#include <QList>
#include <QTextBrowser>

// Reads the message dialogs a widget has shown, as the user sees them.
struct ShownMessage
{
    QString title;
    QString text;
    bool operator==(const ShownMessage &other) const
    {
        return title == other.title && text == other.text;
    }
};

inline QDebug operator<<(QDebug debug, const ShownMessage &message)
{
    return debug << message.title << "/" << message.text;
}

inline QList<ShownMessage> shownMessages(const QObject *owner)
{
    QList<ShownMessage> messages;
    const QList<MessageDialog *> dialogs = owner->findChildren<MessageDialog *>();
    for (const MessageDialog *dialog : dialogs) {
        if (!dialog->isVisible())
            continue;
        const auto *group = dialog->findChild<QGroupBox *>(QStringLiteral("groupBox_message"));
        const auto *browser = dialog->findChild<QTextBrowser *>(QStringLiteral("textBrowser"));
        messages.append(
            {group ? group->title() : QString(), browser ? browser->toPlainText() : QString()});
    }
    return messages;
}

inline void closeMessages(const QObject *owner)
{
    const QList<MessageDialog *> dialogs = owner->findChildren<MessageDialog *>();
    for (MessageDialog *dialog : dialogs)
        delete dialog;
}

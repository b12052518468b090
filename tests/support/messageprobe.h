#pragma once

#include "project/messagedialog.h"
#include "tests/support/widgetfinder.h"

#include <QDebug>
#include <QGroupBox>
#include <QTextBrowser>

// The message dialogs a widget shows, as the user reads them (title, text).
struct ShownMessage
{
    QString title;
    QString text;
    bool operator==(const ShownMessage &o) const { return title == o.title && text == o.text; }
};

inline QDebug operator<<(QDebug debug, const ShownMessage &message)
{
    return debug << message.title << "/" << message.text;
}

inline QList<ShownMessage> shownMessages(const QObject *owner)
{
    QList<ShownMessage> messages;
    for (const MessageDialog *dialog : owner->findChildren<MessageDialog *>()) {
        if (!dialog->isVisible())
            continue;
        messages.append({child<QGroupBox>(dialog, "groupBox_message")->title(),
                         child<QTextBrowser>(dialog, "textBrowser")->toPlainText()});
    }
    return messages;
}

inline int countMessages(const QObject *owner, const QString &title, const QString &text)
{
    return int(shownMessages(owner).count({title, text}));
}

inline void closeMessages(const QObject *owner)
{
    qDeleteAll(owner->findChildren<MessageDialog *>());
}

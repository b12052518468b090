#pragma once

#include "project/messagedialog.h"
#include "project/projectfile.h"

#include <QAction>
#include <QGroupBox>
#include <QList>
#include <QPair>
#include <QSettings>
#include <QTextBrowser>
#include <QTimer>
#include <QWidget>

namespace AppFixture {

inline QSettings *appSettings()
{
    return new QSettings(QSettings::NativeFormat, QSettings::UserScope,
                         QStringLiteral("VelmoranLite"), QStringLiteral("Velmoran Lite"));
}

inline void clearAppSettings()
{
    QSettings *settings = appSettings();
    settings->clear();
    settings->sync();
    delete settings;
}

inline QAction *action(const QWidget *window, const QString &objectName)
{
    return window->findChild<QAction *>(objectName);
}

// (title, text) of every timed message currently shown on the window.
inline QList<QPair<QString, QString>> shownMessages(const QWidget *window)
{
    QList<QPair<QString, QString>> result;
    const QList<MessageDialog *> dialogs = window->findChildren<MessageDialog *>();
    for (const MessageDialog *dialog : dialogs) {
        if (!dialog->isVisible())
            continue;
        const auto *box = dialog->findChild<QGroupBox *>(QStringLiteral("groupBox_message"));
        const auto *view = dialog->findChild<QTextBrowser *>(QStringLiteral("textBrowser"));
        result.append({box ? box->title() : QString(), view ? view->toPlainText() : QString()});
    }
    return result;
}

inline int countMessages(const QWidget *window, const QString &title, const QString &text)
{
    return int(shownMessages(window).count({title, text}));
}

// A project file that opens with no loggers (its DeviceList holds an empty array).
inline bool writeEmptyProject(const QString &path, int interval)
{
    return ProjectFile::create(path, ProjectFile::baseName(path), interval) &&
           ProjectFile::saveDevices(path, {}) &&
           ProjectFile::writeConfiguration(path, interval,
                                           {QStringLiteral("A"), QStringLiteral("B"),
                                            QStringLiteral("C"), QStringLiteral("D")});
}

// The active timers of the window with this period (the poll timer has the project's interval).
inline int activeTimersWithInterval(const QObject *window, int ms)
{
    int count = 0;
    const QList<QTimer *> timers = window->findChildren<QTimer *>(Qt::FindDirectChildrenOnly);
    for (const QTimer *timer : timers) {
        if (timer->isActive() && timer->interval() == ms)
            ++count;
    }
    return count;
}

} // namespace AppFixture

#pragma once

#include "project/projectfile.h"
#include "tests/support/messageprobe.h"

#include <QAction>
#include <QSettings>
#include <QTimer>
#include <QWidget>

namespace AppFixture {

using ::countMessages;
using ::shownMessages;

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

// A project file with these loggers on four dashboards "A" to "D".
inline bool writeProject(const QString &path, const QList<ConfiguredDevice *> &devices,
                         int interval)
{
    return ProjectFile::create(path, ProjectFile::baseName(path), interval) &&
           ProjectFile::saveDevices(path, devices) &&
           ProjectFile::writeConfiguration(path, interval, {"A", "B", "C", "D"});
}

// A project file that opens with no loggers (its DeviceList holds an empty array).
inline bool writeEmptyProject(const QString &path, int interval)
{
    return writeProject(path, {}, interval);
}

// The timers of the window and of its recorder.
inline QList<QTimer *> cycleTimers(const QObject *window)
{
    QList<QTimer *> timers = window->findChildren<QTimer *>(Qt::FindDirectChildrenOnly);
    for (const QObject *child : window->children()) {
        if (child->inherits("Recorder"))
            timers += child->findChildren<QTimer *>(Qt::FindDirectChildrenOnly);
    }
    return timers;
}

// The active timers of the window with this period (the poll timer has the project's interval).
inline int activeTimersWithInterval(const QObject *window, int ms)
{
    int count = 0;
    for (const QTimer *timer : cycleTimers(window))
        count += timer->isActive() && timer->interval() == ms ? 1 : 0;
    return count;
}

} // namespace AppFixture

#pragma once

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

// Points QSettings (native and INI, user scope) and QStandardPaths at a folder that lives as long
// as the process, so no test touches a real user's settings. Call it first in initTestCase().
inline void isolateSettings()
{
    static QTemporaryDir dir;
    QStandardPaths::setTestModeEnabled(true);
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, dir.path());
}

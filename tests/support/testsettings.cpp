#include "tests/support/testsettings.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

void isolateSettings()
{
    static QTemporaryDir dir;
    QStandardPaths::setTestModeEnabled(true);
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, dir.path());
}

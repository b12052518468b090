#include "tests/support/testsettings.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

QTemporaryDir *settingsDir()
{
    static QTemporaryDir dir;
    return &dir;
}

} // namespace

void isolateSettings()
{
    QStandardPaths::setTestModeEnabled(true);
    const QString path = settingsDir()->path();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path);
}

QString isolatedSettingsDir()
{
    return settingsDir()->isValid() ? settingsDir()->path() : QString();
}

#pragma once

#include "tests/support/testsettings.h"

#include <QDir>
#include <QTemporaryDir>

// A folder for one test's project files and databases, removed with the object.
class TempProjectDir
{
public:
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return QDir(m_dir.path()).filePath(name); }
    QString projectPath(const QString &name) const { return filePath(name + ".tpc"); }

private:
    QTemporaryDir m_dir;
};

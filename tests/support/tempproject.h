#pragma once

#include "tests/support/testsettings.h"

#include <QTemporaryDir>

// A folder for one test's project files and databases, removed with the object.
class TempProjectDir : public QTemporaryDir
{
public:
    QString projectPath(const QString &name) const { return filePath(name + ".tpc"); }
};

#include "app/siblinglauncher.h"
#include "store/logcategories.h"

#include "project/projectfile.h"

#include <QDebug>
#include <QFileInfo>
#include <QProcess>

SiblingLauncher::SiblingLauncher(const QString &projectFile) : m_strProjectFile(projectFile) {}

bool SiblingLauncher::databaseExists() const
{
    return !m_strProjectFile.isEmpty() &&
           QFileInfo::exists(ProjectFile::databasePath(m_strProjectFile));
}

QString SiblingLauncher::argument() const
{
    return QLatin1Char('\'') + m_strProjectFile + QLatin1Char('\'');
}

bool SiblingLauncher::start(const QString &program) const
{
    const QString command = program + QLatin1Char(' ') + argument();
    qCDebug(lcApp) << "cmd : " << command;
    // Program and argument stay apart, so a path with blanks reaches the program whole.
    if (!QProcess::startDetached(program, {argument()})) {
        qCWarning(lcApp).nospace() << "startDetached : " << command << " failed!";
        return false;
    }
    return true;
}

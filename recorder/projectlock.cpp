#include "recorder/projectlock.h"
#include "store/logcategories.h"

#include <QDebug>
#include <QLockFile>

ProjectLock::ProjectLock(const QString &databasePath)
    : m_strPath(lockPath(databasePath)), m_pFile(std::make_unique<QLockFile>(m_strPath))
{
    // A recorder lives for days: only a dead owner makes the lock stale, never its age.
    m_pFile->setStaleLockTime(0);
}

ProjectLock::~ProjectLock() = default;

QString ProjectLock::lockPath(const QString &databasePath)
{
    return databasePath + QStringLiteral(".lock");
}

bool ProjectLock::tryLock()
{
    if (m_pFile->tryLock(0))
        return true;
    m_bHeldByOther = m_pFile->error() == QLockFile::LockFailedError;
    if (m_bHeldByOther) {
        QString host, application;
        m_pFile->getLockInfo(&m_nOwner, &host, &application);
    }
    qCWarning(lcApp).noquote() << "ProjectLock::tryLock : [ERROR]" << m_strPath
                               << "is held by process" << m_nOwner << "error" << m_pFile->error();
    return false;
}

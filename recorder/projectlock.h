#pragma once

#include <QString>

#include <memory>

class QLockFile;

// One recorder per project: a lock file beside the database, held while the project's store is
// open. A lock whose process is gone (killed, crashed, power cut) is taken over.
class ProjectLock
{
public:
    explicit ProjectLock(const QString &databasePath);
    ~ProjectLock();
    ProjectLock(const ProjectLock &) = delete;
    ProjectLock &operator=(const ProjectLock &) = delete;

    static QString lockPath(const QString &databasePath);

    bool tryLock();
    // tryLock() failed because a living process holds the lock (not: the folder is unwritable).
    bool heldByOther() const { return m_bHeldByOther; }
    // The process that holds the lock when tryLock() failed; 0 when unknown.
    qint64 ownerProcess() const { return m_nOwner; }
    QString path() const { return m_strPath; }

private:
    QString m_strPath;
    std::unique_ptr<QLockFile> m_pFile;
    qint64 m_nOwner = 0;
    bool m_bHeldByOther = false;
};

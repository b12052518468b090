#pragma once

#include "store/pendingrowqueue.h"

#include <QString>

#include <memory>

class InsertSerialData;

// Rows of a project that was closed before its database took them. They belong to that
// database alone: they never join the queue that the next project's store writes. Each step
// opens the database if need be and writes one bounded slice, on a connection of its own.
class LeftoverRows
{
public:
    enum class Step
    {
        Written,
        Failed,
        Unreachable
    };

    // Takes every row of from. projectFile is the closed project's, kept for its owner.
    LeftoverRows(const QString &databasePath, const QString &connectionPrefix,
                 PendingRowQueue &from, const QString &projectFile);
    ~LeftoverRows();
    LeftoverRows(const LeftoverRows &) = delete;
    LeftoverRows &operator=(const LeftoverRows &) = delete;

    // Written: a slice was committed (count() tells what is left). Failed: the database was
    // opened but refused the write. Unreachable: it could not be opened.
    Step writeSlice();
    int count() const { return m_rows.count(); }
    // Steps in a row that could not open the database.
    int openFailures() const { return m_nOpenFailures; }
    QString databasePath() const { return m_strDatabasePath; }
    QString projectFile() const { return m_strProjectFile; }
    // The store of the last step that wrote a slice; null before and after a failed step.
    InsertSerialData *store() const { return m_pStore.get(); }

private:
    QString m_strDatabasePath;
    QString m_strConnectionPrefix;
    QString m_strProjectFile;
    PendingRowQueue m_rows;
    std::unique_ptr<InsertSerialData> m_pStore;
    int m_nOpenFailures = 0;
};

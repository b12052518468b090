#include "store/leftoverrows.h"

#include "store/insertserialdata.h"

LeftoverRows::LeftoverRows(const QString &databasePath, const QString &connectionPrefix,
                           PendingRowQueue &from, const QString &projectFile)
    : m_strDatabasePath(databasePath), m_strConnectionPrefix(connectionPrefix),
      m_strProjectFile(projectFile)
{
    m_rows.takeAll(from);
}

LeftoverRows::~LeftoverRows() = default;

LeftoverRows::Step LeftoverRows::writeSlice()
{
    if (!m_pStore) {
        m_pStore = std::make_unique<InsertSerialData>(m_strDatabasePath, m_strConnectionPrefix);
        if (!m_pStore->createConnection()) {
            // A failed open leaves its connection registered; the next try starts afresh.
            m_pStore.reset();
            ++m_nOpenFailures;
            return Step::Unreachable;
        }
        m_nOpenFailures = 0;
    }
    if (m_pStore->insertFrom(m_rows))
        return Step::Written;
    // SQLite opens a file it may not write read-only, and the connection stays so: the next
    // try opens afresh.
    m_pStore.reset();
    return Step::Failed;
}

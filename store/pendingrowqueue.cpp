#include "store/pendingrowqueue.h"
#include "store/logcategories.h"

#include <QDebug>

#include <algorithm>

void PendingRowQueue::append(const SerialDataRow &row)
{
    if (m_nLimit > 0 && count() >= m_nLimit) {
        // Logged once per streak: while the disk refuses writes this runs for every sample.
        if (m_nDroppedInStreak == 0) {
            qCWarning(lcStore).noquote()
                << "InsertSerialData::appendRow : [ERROR] more than" << m_nLimit
                << "rows wait for the database, dropping the oldest";
        }
        m_rows.pop_front();
        ++m_nDropped;
        ++m_nDroppedInStreak;
    }
    m_rows.push_back(row);
}

void PendingRowQueue::removeFirst(int count)
{
    const auto n = std::min<std::size_t>(std::size_t(std::max(count, 0)), m_rows.size());
    m_rows.erase(m_rows.begin(), m_rows.begin() + std::ptrdiff_t(n));
    if (m_nDroppedInStreak > 0) {
        qCWarning(lcStore).noquote()
            << "InsertSerialData::insertNow : [ERROR]" << m_nDroppedInStreak
            << "rows were dropped while the database could not be written";
        m_nDroppedInStreak = 0;
    }
}

void PendingRowQueue::clear()
{
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_nDroppedInStreak = 0;
}

void PendingRowQueue::takeAll(PendingRowQueue &other)
{
    if (m_rows.empty()) {
        m_rows.swap(other.m_rows);
    } else {
        m_rows.insert(m_rows.end(), other.m_rows.begin(), other.m_rows.end());
        other.m_rows.clear();
    }
    other.m_nDroppedInStreak = 0;
}

void PendingRowQueue::setLimit(int limit)
{
    m_nLimit = limit;
    while (m_nLimit > 0 && count() > m_nLimit) {
        m_rows.pop_front();
        ++m_nDropped;
        ++m_nDroppedInStreak;
    }
}

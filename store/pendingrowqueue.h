#pragma once

#include "store/serialdatarow.h"

#include <deque>

// A queue of rows waiting for the database, kept by the recording's owner and handed to the
// store; it outlives every store, so rows sampled while no store is connected are written by
// the next one that is. Rows leave it
// only once a store has committed them; while the database cannot be written it keeps
// growing up to a bound, beyond which the oldest rows are dropped and counted.
class PendingRowQueue
{
public:
    // A day of samples for 64 loggers polled every second.
    static constexpr int DEFAULT_LIMIT = 86400 * 64;

    // limit 0: unbounded, as for rows set aside for one database (see takeAll).
    explicit PendingRowQueue(int limit = 0) : m_nLimit(limit) {}
    PendingRowQueue(const PendingRowQueue &) = delete;
    PendingRowQueue &operator=(const PendingRowQueue &) = delete;

    void append(const SerialDataRow &row);
    int count() const { return int(m_rows.size()); }
    const SerialDataRow &at(int index) const { return m_rows[std::size_t(index)]; }
    // Removes the oldest count rows once they are stored; ends an overflow streak.
    void removeFirst(int count);
    void clear();
    // Moves every row of other to the end of this queue, in their order; other is left empty.
    void takeAll(PendingRowQueue &other);

    void setLimit(int limit);
    int limit() const { return m_nLimit; }
    qint64 droppedRowCount() const { return m_nDropped; }

private:
    std::deque<SerialDataRow> m_rows;
    int m_nLimit;
    qint64 m_nDropped = 0;
    qint64 m_nDroppedInStreak = 0;
};

#pragma once

#include "store/serialdatarow.h"

#include <deque>

// The process-wide queue of rows waiting for the database. It outlives every store, so rows
// sampled while no store is connected are written by the next one that is. Rows leave it
// only once a store has committed them; while the database cannot be written it keeps
// growing up to a bound, beyond which the oldest rows are dropped and counted.
class PendingRowQueue
{
public:
    // A day of samples for 64 loggers polled every second.
    static constexpr int DEFAULT_LIMIT = 86400 * 64;

    static PendingRowQueue &instance();
    // A queue of its own, unbounded: rows set aside for one database (see takeAll).
    PendingRowQueue() : m_nLimit(0) {}

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
    struct Shared
    {
    };
    explicit PendingRowQueue(Shared) {}

    std::deque<SerialDataRow> m_rows;
    int m_nLimit = DEFAULT_LIMIT;
    qint64 m_nDropped = 0;
    qint64 m_nDroppedInStreak = 0;
};

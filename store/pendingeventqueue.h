#pragma once

#include "store/eventrow.h"

#include <deque>

// The events waiting for the database. Like the sample queue it outlives the stores; events
// leave it only once they are committed, together with the samples of the same flush.
class PendingEventQueue
{
public:
    // Far more than a day of alarms; a store that never writes must not grow it without end.
    static constexpr int LIMIT = 100000;

    void append(const EventRow &row);
    int count() const { return int(m_rows.size()); }
    const EventRow &at(int index) const { return m_rows[std::size_t(index)]; }
    void removeFirst(int count);
    void clear() { m_rows.clear(); }

private:
    std::deque<EventRow> m_rows;
};

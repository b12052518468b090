#include "store/pendingeventqueue.h"

void PendingEventQueue::append(const EventRow &row)
{
    if (int(m_rows.size()) >= LIMIT)
        m_rows.pop_front();
    m_rows.push_back(row);
}

void PendingEventQueue::removeFirst(int count)
{
    const auto n = std::min<std::size_t>(std::size_t(std::max(count, 0)), m_rows.size());
    m_rows.erase(m_rows.begin(), m_rows.begin() + std::ptrdiff_t(n));
}

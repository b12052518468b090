#include "sim/replyqueue.h"

ReplyQueue::ReplyQueue(WriteFunc write, CloseFunc close, QObject *parent)
    : QObject(parent), m_write(std::move(write)), m_close(std::move(close))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ReplyQueue::slotDelayElapsed);
}

void ReplyQueue::enqueue(const ReplyPlan &plan)
{
    const bool idle = m_pending.isEmpty();
    m_pending += plan;
    if (idle)
        drain();
}

void ReplyQueue::clear()
{
    m_pending.clear();
    m_timer.stop();
    m_bDelayServed = false;
}

void ReplyQueue::slotDelayElapsed()
{
    m_bDelayServed = true;
    drain();
}

void ReplyQueue::drain()
{
    while (!m_pending.isEmpty()) {
        if (m_pending.first().delayMs > 0 && !m_bDelayServed) {
            m_timer.start(m_pending.first().delayMs);
            return;
        }
        m_bDelayServed = false;
        const ReplyChunk chunk = m_pending.takeFirst();
        if (!chunk.bytes.isEmpty())
            m_write(chunk.bytes);
        if (chunk.closeAfter) {
            m_pending.clear();
            m_close();
            return;
        }
    }
}

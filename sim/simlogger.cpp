#include "sim/simlogger.h"

#include "sim/replyqueue.h"

namespace {

// A client that never sends LF must not grow the simulator without bound.
constexpr int MAX_PENDING_REQUEST = 4096;

} // namespace

SimLogger::SimLogger(const QString &id, const LoggerBehaviour &behaviour, QObject *parent)
    : QObject(parent), m_strId(id), m_behaviour(behaviour)
{
}

void SimLogger::feedRequests(QByteArray *pending, const QByteArray &data, ReplyQueue *queue)
{
    pending->append(data);
    int lf;
    while ((lf = pending->indexOf('\n')) >= 0) {
        QByteArray line = pending->left(lf);
        pending->remove(0, lf + 1);
        while (line.endsWith('\r'))
            line.chop(1);
        queue->enqueue(m_behaviour.answer(line));
    }
    if (pending->size() > MAX_PENDING_REQUEST)
        pending->clear();
}

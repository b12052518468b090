#include "bench/load/timedapplication.h"

#include <QEvent>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>

namespace {
constexpr qint64 FRAME_NS = 16'000'000;

// Which object got the event: for a timer, whose timer it is. Taken before delivery, since
// the receiver may be gone after it.
QString describe(const QObject *receiver)
{
    if (!receiver)
        return QString();
    QString text = QLatin1String(receiver->metaObject()->className());
    if (const auto *timer = qobject_cast<const QTimer *>(receiver)) {
        text += QStringLiteral(" %1 ms").arg(timer->interval());
        if (const QObject *owner = timer->parent())
            text += QStringLiteral(" of ") + QLatin1String(owner->metaObject()->className());
    }
    return text;
}
} // namespace

TimedApplication::TimedApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    m_clock.start();
}

bool TimedApplication::notify(QObject *receiver, QEvent *event)
{
    if (m_nDepth > 0)
        return QApplication::notify(receiver, event);
    const int type = event->type();
    const QString receiverText = describe(receiver);
    ++m_nDepth;
    const qint64 start = m_clock.nsecsElapsed();
    const bool result = QApplication::notify(receiver, event);
    const qint64 spent = m_clock.nsecsElapsed() - start;
    --m_nDepth;

    m_nBusyNs += spent;
    ++m_nEvents;
    if (spent > FRAME_NS) {
        ++m_nOverFrame;
        Slow &slow = m_slow[receiverText + QStringLiteral(", event type %1").arg(type)];
        ++slow.count;
        slow.worstNs = std::max(slow.worstNs, spent);
    }
    if (spent > m_nWorstNs) {
        m_nWorstNs = spent;
        // The class name is taken before delivery: the receiver may be gone after it.
        m_strWorst = QStringLiteral("%1, event type %2").arg(receiverText).arg(type);
    }
    return result;
}

qint64 TimedApplication::takeBusyNs()
{
    const qint64 busy = m_nBusyNs;
    m_nBusyNs = 0;
    return busy;
}

void TimedApplication::resetWorst()
{
    m_nWorstNs = 0;
    m_nOverFrame = 0;
    m_nEvents = 0;
    m_strWorst.clear();
    m_slow.clear();
}

#include "bench/load/timedapplication.h"

#include "bench/load/stallwatch.h"

#include <QEvent>
#include <QMetaObject>
#include <QTimer>
#include <QWidget>

#include <sched.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>

namespace {
constexpr qint64 FRAME_NS = 16'000'000;
// Steps kept as what led up to a slow one: the many replies read in between tell nothing.
constexpr qint64 RECENT_MIN_NS = 1'000'000;
constexpr int SLOW_STEPS_LISTED = 12;

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

bool isWindowRepaint(const QObject *receiver, const QEvent *event)
{
    if (event->type() != QEvent::UpdateRequest || !receiver->isWidgetType())
        return false;
    return static_cast<const QWidget *>(receiver)->isWindow();
}
} // namespace

TimedApplication::TimedApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    m_clock.start();
}

qint64 TimedApplication::threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

bool TimedApplication::notify(QObject *receiver, QEvent *event)
{
    if (m_nDepth > 0) {
        if (m_nDepth > 1 || event->type() == QEvent::DeferredDelete)
            return QApplication::notify(receiver, event);
        // Deliveries made from inside an outermost one are only added up by receiver class and
        // type, the class taken before delivery.
        const char *className = receiver->metaObject()->className();
        const int type = event->type();
        const bool tracked =
            type == QEvent::Paint && receiver->metaObject() == m_pTrackedPaints && m_pTrackedPaints;
        const qint64 startCpu = tracked ? threadCpuNs() : 0;
        ++m_nDepth;
        const qint64 start = m_clock.nsecsElapsed();
        const bool result = QApplication::notify(receiver, event);
        addInside(className, type, m_clock.nsecsElapsed() - start);
        --m_nDepth;
        if (tracked)
            m_nTrackedPaintCpuNs += threadCpuNs() - startCpu;
        return result;
    }
    m_inside.clear();
    const int type = event->type();
    const QString receiverText = describe(receiver);
    if (isWindowRepaint(receiver, event))
        ++m_nRepaints;
    ++m_nDepth;
    // Read outside the timed span: page faults and kernel time tell a slow step's cause.
    rusage before{};
    getrusage(RUSAGE_THREAD, &before);
    const int cpuAtStart = sched_getcpu();
    const qint64 fromNs = StallWatch::monotonicNs();
    const qint64 startCpu = threadCpuNs();
    const qint64 start = m_clock.nsecsElapsed();
    const bool result = QApplication::notify(receiver, event);
    const qint64 spent = m_clock.nsecsElapsed() - start;
    const qint64 spentCpu = threadCpuNs() - startCpu;
    const qint64 toNs = StallWatch::monotonicNs();
    const int cpuAtEnd = sched_getcpu();
    rusage after{};
    getrusage(RUSAGE_THREAD, &after);
    --m_nDepth;

    m_nBusyNs += spent;
    m_nBusyCpuNs += spentCpu;
    ++m_nEvents;
    const QString key = QStringLiteral("%1, event type %2").arg(receiverText).arg(type);
    if (spent > FRAME_NS) {
        ++m_nOverFrame;
        Slow &slow = m_slow[key];
        ++slow.count;
        slow.worstNs = std::max(slow.worstNs, spent);
    }
    if (spentCpu <= FRAME_NS)
        m_nWorstUnderFrameCpuNs = std::max(m_nWorstUnderFrameCpuNs, spentCpu);
    if (spentCpu > FRAME_NS) {
        ++m_nOverFrameCpu;
        const SlowStep step{cpuAtStart, cpuAtEnd, fromNs, toNs, spentCpu};
        if (m_slowSteps.size() < 100'000)
            m_slowSteps.append(step);
        if (m_slowSteps.size() <= SLOW_STEPS_LISTED) {
            const double kernelMs = double(after.ru_stime.tv_sec - before.ru_stime.tv_sec) * 1e3 +
                                    double(after.ru_stime.tv_usec - before.ru_stime.tv_usec) / 1e3;
            m_slowCpu.append(
                QStringLiteral("at %1 s, %2 ms CPU (%3 ms in the kernel, %4 page faults), %5 ms "
                               "wall: %6")
                    .arg(double(start) / 1e9, 0, 'f', 1)
                    .arg(double(spentCpu) / 1e6, 0, 'f', 2)
                    .arg(kernelMs, 0, 'f', 1)
                    .arg(after.ru_minflt - before.ru_minflt + after.ru_majflt - before.ru_majflt)
                    .arg(double(spent) / 1e6, 0, 'f', 2)
                    .arg(key));
            for (const QString &line : describeInside(m_inside, 3))
                m_slowCpu.append(QStringLiteral("  inside it: ") + line);
            for (int i = 1; i <= RECENT; ++i) {
                const Recent &recent = m_recent[(m_nRecent - i + RECENT) % RECENT];
                if (recent.key.isEmpty())
                    break;
                m_slowCpu.append(QStringLiteral("  step over 1 ms %1 before it: %2 ms CPU: %3")
                                     .arg(i)
                                     .arg(double(recent.cpuNs) / 1e6, 0, 'f', 2)
                                     .arg(recent.key));
                for (const QString &line : describeInside(recent.inside, 2))
                    m_slowCpu.append(QStringLiteral("    inside it: ") + line);
            }
        }
    }
    if (spentCpu >= RECENT_MIN_NS) {
        m_recent[m_nRecent] = {key, spentCpu, m_inside};
        m_nRecent = (m_nRecent + 1) % RECENT;
    }
    if (spent > m_nWorstNs) {
        m_nWorstNs = spent;
        m_strWorst = key;
    }
    if (spentCpu > m_nWorstCpuNs) {
        m_nWorstCpuNs = spentCpu;
        m_strWorstCpu = key;
        m_worstInside = m_inside;
    }
    return result;
}

qint64 TimedApplication::takeBusyNs()
{
    const qint64 busy = m_nBusyNs;
    m_nBusyNs = 0;
    return busy;
}

qint64 TimedApplication::takeBusyCpuNs()
{
    const qint64 busy = m_nBusyCpuNs;
    m_nBusyCpuNs = 0;
    return busy;
}

qint64 TimedApplication::takeTrackedPaintCpuNs()
{
    const qint64 cpu = m_nTrackedPaintCpuNs;
    m_nTrackedPaintCpuNs = 0;
    return cpu;
}

int TimedApplication::takeRepaints()
{
    const int repaints = m_nRepaints;
    m_nRepaints = 0;
    return repaints;
}

void TimedApplication::addInside(const char *className, int type, qint64 ns)
{
    for (Inside &known : m_inside) {
        if (known.className == className && known.type == type) {
            ++known.count;
            known.ns += ns;
            return;
        }
    }
    m_inside.append({className, type, 1, ns});
}

QStringList TimedApplication::worstEventCpuInside() const
{
    return describeInside(m_worstInside, 6);
}

QStringList TimedApplication::describeInside(QVector<Inside> inside, int count)
{
    std::sort(inside.begin(), inside.end(),
              [](const Inside &a, const Inside &b) { return a.ns > b.ns; });
    QStringList lines;
    for (const Inside &i : inside.mid(0, count))
        lines.append(QStringLiteral("%1 ms: %2 x %3, event type %4")
                         .arg(double(i.ns) / 1e6, 0, 'f', 2)
                         .arg(i.count)
                         .arg(QLatin1String(i.className))
                         .arg(i.type));
    return lines;
}

qint64 TimedApplication::stalledIn(const SlowStep &step) const
{
    // A step that moved to another core was off its core in between; its stalls are not known.
    if (!m_pStallWatch || step.cpuAtStart < 0 || step.cpuAtStart != step.cpuAtEnd)
        return 0;
    const qint64 stalled = m_pStallWatch->stalledNs(step.cpuAtStart, step.fromNs, step.toNs);
    // Only a stall while the thread ran was billed to it. Where the step waited, its core may
    // have idled, and an idle core wakes late too: the stall goes there first.
    const qint64 waited = std::max<qint64>(0, step.toNs - step.fromNs - step.cpuNs);
    return std::clamp<qint64>(stalled - waited, 0, step.cpuNs);
}

qint64 TimedApplication::worstEventCpuWithoutStallsNs() const
{
    qint64 worst = m_nWorstUnderFrameCpuNs;
    for (const SlowStep &step : m_slowSteps)
        worst = std::max(worst, step.cpuNs - stalledIn(step));
    return worst;
}

QString TimedApplication::stalledInSlowSteps() const
{
    QStringList parts;
    for (const SlowStep &step : m_slowSteps.mid(0, SLOW_STEPS_LISTED))
        parts.append(QStringLiteral("%1 of %2")
                         .arg(double(stalledIn(step)) / 1e6, 0, 'f', 1)
                         .arg(double(step.cpuNs) / 1e6, 0, 'f', 1));
    return parts.join(QStringLiteral(", "));
}

void TimedApplication::resetWorst()
{
    m_slowSteps.clear();
    m_nWorstUnderFrameCpuNs = 0;
    m_worstInside.clear();
    m_nWorstNs = 0;
    m_nWorstCpuNs = 0;
    m_nOverFrame = 0;
    m_nOverFrameCpu = 0;
    m_nEvents = 0;
    m_strWorst.clear();
    m_strWorstCpu.clear();
    m_slow.clear();
    m_slowCpu.clear();
}

#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

class StallWatch;

// Times every event the GUI thread delivers. Only outermost deliveries count, so an event sent
// from inside another one is not counted twice; the sum of them is the time the GUI thread
// was busy, and the longest one is the worst stall a user could have seen.
//
// Each event is timed twice: by the wall clock, and by the CPU time of the GUI thread. On a
// machine shared with other work the two differ by the time the thread waited for a core (or
// for the disk), which is the machine's, not the program's.
class TimedApplication : public QApplication
{
public:
    TimedApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // Busy time since the last call, in nanoseconds; starts the next period.
    qint64 takeBusyNs();
    // The GUI thread's CPU time within events since the last call.
    qint64 takeBusyCpuNs();
    // Repaints of a top-level window (update requests delivered) since the last call.
    int takeRepaints();
    qint64 worstEventNs() const { return m_nWorstNs; }
    QString worstEventText() const { return m_strWorst; }
    qint64 worstEventCpuNs() const { return m_nWorstCpuNs; }
    QString worstEventCpuText() const { return m_strWorstCpu; }
    // What the worst step by CPU delivered inside itself: events sent from within it, by receiver
    // class and event type, with their count and wall time, the dearest first.
    QStringList worstEventCpuInside() const;
    qint64 eventCount() const { return m_nEvents; }
    // Outermost events that took longer than one 60 Hz frame, by the wall clock and by CPU.
    qint64 eventsOverFrame() const { return m_nOverFrame; }
    qint64 eventsOverFrameCpu() const { return m_nOverFrameCpu; }
    void resetWorst();

    struct Slow
    {
        int count = 0;
        qint64 worstNs = 0;
    };
    // Events over one frame, by receiver and event type.
    QHash<QString, Slow> slowEvents() const { return m_slow; }
    // Events over one frame by CPU, each with when it came (seconds since the clock started),
    // its times, what it delivered inside itself and the steps before it; the first 12.
    QStringList slowCpuEvents() const { return m_slowCpu; }

    // With a watch on the cores, a step's CPU time can be told apart from the time its core
    // stood still (the host's, billed to the step). Not owned; must outlive the runs it sees.
    void setStallWatch(const StallWatch *watch) { m_pStallWatch = watch; }
    // The longest step by CPU, less the time its core stood still.
    qint64 worstEventCpuWithoutStallsNs() const;
    // How much of the CPU time of the steps over one frame was the cores standing still.
    QString stalledInSlowSteps() const;

    // Paint events delivered to widgets of one class inside a repaint: their GUI-thread CPU time
    // is added up (the detail view's charts paint in the window's repaint).
    void trackPaintsOf(const QMetaObject *widgetClass) { m_pTrackedPaints = widgetClass; }
    // That CPU time since the last call, in nanoseconds.
    qint64 takeTrackedPaintCpuNs();

    // CPU time of the calling thread, in nanoseconds.
    static qint64 threadCpuNs();

private:
    struct Inside
    {
        const char *className;
        int type;
        int count;
        qint64 ns;
    };
    struct SlowStep
    {
        int cpuAtStart;
        int cpuAtEnd;
        qint64 fromNs;
        qint64 toNs;
        qint64 cpuNs;
    };
    qint64 stalledIn(const SlowStep &step) const;
    // The last steps of some weight before the current one: what led up to a slow step.
    struct Recent
    {
        QString key;
        qint64 cpuNs = 0;
        QVector<Inside> inside;
    };
    static constexpr int RECENT = 3;
    void addInside(const char *className, int type, qint64 ns);
    static QStringList describeInside(QVector<Inside> inside, int count);

    QElapsedTimer m_clock;
    QVector<Inside> m_inside;
    QVector<Inside> m_worstInside;
    int m_nDepth = 0;
    qint64 m_nBusyNs = 0;
    qint64 m_nBusyCpuNs = 0;
    int m_nRepaints = 0;
    qint64 m_nWorstNs = 0;
    qint64 m_nWorstCpuNs = 0;
    qint64 m_nEvents = 0;
    qint64 m_nOverFrame = 0;
    qint64 m_nOverFrameCpu = 0;
    QString m_strWorst;
    QString m_strWorstCpu;
    QHash<QString, Slow> m_slow;
    QStringList m_slowCpu;
    QVector<SlowStep> m_slowSteps;
    Recent m_recent[RECENT];
    int m_nRecent = 0;
    qint64 m_nWorstUnderFrameCpuNs = 0;
    const StallWatch *m_pStallWatch = nullptr;
    const QMetaObject *m_pTrackedPaints = nullptr;
    qint64 m_nTrackedPaintCpuNs = 0;
};

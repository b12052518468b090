#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QString>

// Times every event the GUI thread delivers. Only outermost deliveries count, so an event sent
// from inside another one is not counted twice; the sum of them is the time the GUI thread
// was busy, and the longest one is the worst stall a user could have seen.
class TimedApplication : public QApplication
{
public:
    TimedApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // Busy time since the last call, in nanoseconds; starts the next period.
    qint64 takeBusyNs();
    qint64 worstEventNs() const { return m_nWorstNs; }
    QString worstEventText() const { return m_strWorst; }
    qint64 eventCount() const { return m_nEvents; }
    // Outermost events that took longer than one 60 Hz frame.
    qint64 eventsOverFrame() const { return m_nOverFrame; }
    void resetWorst();

    struct Slow
    {
        int count = 0;
        qint64 worstNs = 0;
    };
    // Events over one frame, by receiver and event type.
    QHash<QString, Slow> slowEvents() const { return m_slow; }

private:
    QElapsedTimer m_clock;
    int m_nDepth = 0;
    qint64 m_nBusyNs = 0;
    qint64 m_nWorstNs = 0;
    qint64 m_nEvents = 0;
    qint64 m_nOverFrame = 0;
    QString m_strWorst;
    QHash<QString, Slow> m_slow;
};

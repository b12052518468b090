#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the GUI thread. A session that ends or a
// service manager that stops the program would otherwise cut a recording off with its last
// rows still queued and no break row written; the receiver stops the recording first.
// Where the platform has no such signals the watcher stays inactive.
class TerminationWatcher : public QObject
{
    Q_OBJECT

public:
    explicit TerminationWatcher(QObject *parent = nullptr);
    ~TerminationWatcher() override;

    bool isActive() const { return m_pNotifier != nullptr; }

signals:
    void terminationRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_pNotifier = nullptr;
};

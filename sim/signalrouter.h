#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a Qt signal: the handler only writes a byte into a socket pair,
// and the event loop picks it up, so shutdown runs outside signal context.
class SignalRouter : public QObject
{
    Q_OBJECT

public:
    explicit SignalRouter(QObject *parent = nullptr);
    ~SignalRouter() override;

    bool install();

signals:
    void quitRequested();

private:
    void slotSignalled();

    QSocketNotifier *m_pNotifier = nullptr;
};

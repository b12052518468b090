#pragma once

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

// Reads command lines from standard input without blocking the event loop. End of input only
// stops reading: the simulator keeps serving when started in the background without stdin.
class CommandConsole : public QObject
{
    Q_OBJECT

public:
    explicit CommandConsole(QObject *parent = nullptr);

signals:
    void lineReceived(const QByteArray &line);

private:
    void slotReadable();

    QSocketNotifier *m_pNotifier;
    QByteArray m_pending;
};

#pragma once

#include <QByteArray>
#include <QObject>

class QTcpSocket;
class ReplyQueue;
class SimLogger;

// One accepted client connection of a network logger. Deletes itself when the client goes.
class TcpSession : public QObject
{
    Q_OBJECT

public:
    TcpSession(QTcpSocket *socket, SimLogger *logger, QObject *parent = nullptr);

    void drop();
    // Drops the connection with a reset (RST) instead of an orderly close.
    void reset();

private:
    void slotReadyRead();

    QTcpSocket *m_pSocket;
    SimLogger *m_pLogger;
    ReplyQueue *m_pQueue;
    QByteArray m_pending;
};

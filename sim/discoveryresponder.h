#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>

class QUdpSocket;
class TcpLogger;

// Answers the 50-byte discovery request with one 28-byte reply per running network logger,
// sent back to the request's source address and port.
class DiscoveryResponder : public QObject
{
    Q_OBJECT

public:
    DiscoveryResponder(const QList<TcpLogger *> &loggers, QObject *parent = nullptr);

    bool start(const QHostAddress &bind, quint16 port, QString *error);

    static QByteArray replyFor(const TcpLogger &logger);
    static bool isRequest(const QByteArray &datagram);

private:
    void slotReadyRead();

    QList<TcpLogger *> m_loggers;
    QUdpSocket *m_pSocket;
};

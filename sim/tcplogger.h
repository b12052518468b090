#pragma once

#include "sim/simlogger.h"

#include <QHostAddress>
#include <QPointer>

class QTcpServer;
class TcpSession;

// A network logger: a TCP server answering "ATDC" polls and the setup commands.
class TcpLogger : public SimLogger
{
    Q_OBJECT

public:
    TcpLogger(int index, const QHostAddress &bind, quint16 port, const QHostAddress &advertise,
              quint32 seed, QObject *parent = nullptr);

    bool start(QString *error) override;
    void stop() override;
    bool isRunning() const override;
    QString loggerLine() const override;
    bool supportsConnectionFaults() const override { return true; }
    void resetConnections() override;
    int connectionCount() const override;

    quint16 port() const { return m_nPort; }
    QHostAddress advertisedAddress() const { return m_advertise; }
    QByteArray macAddress() const;

private:
    void slotNewConnection();

    int m_nIndex;
    QHostAddress m_bind;
    quint16 m_nPort;
    QHostAddress m_advertise;
    QTcpServer *m_pServer;
    QList<QPointer<TcpSession>> m_sessions;
};

#include "sim/tcplogger.h"

#include "sim/tcpsession.h"

#include <QTcpServer>
#include <QTcpSocket>

TcpLogger::TcpLogger(int index, const QHostAddress &bind, quint16 port,
                     const QHostAddress &advertise, quint32 seed, QObject *parent)
    : SimLogger(QStringLiteral("tcp%1").arg(index), LoggerBehaviour(index, "ATDC", true, seed),
                parent),
      m_nIndex(index), m_bind(bind), m_nPort(port), m_advertise(advertise),
      m_pServer(new QTcpServer(this))
{
    m_pServer->setMaxPendingConnections(64);
    connect(m_pServer, &QTcpServer::newConnection, this, &TcpLogger::slotNewConnection);
}

bool TcpLogger::start(QString *error)
{
    if (m_pServer->isListening())
        return true;
    if (!m_pServer->listen(m_bind, m_nPort)) {
        if (error)
            *error = QStringLiteral("%1: cannot listen on %2:%3: %4")
                         .arg(id(), m_bind.toString())
                         .arg(m_nPort)
                         .arg(m_pServer->errorString());
        return false;
    }
    // Later restarts reuse the port the clients already know.
    m_nPort = m_pServer->serverPort();
    return true;
}

void TcpLogger::stop()
{
    m_pServer->close();
    for (const QPointer<TcpSession> &session : qAsConst(m_sessions))
        if (session)
            session->drop();
    m_sessions.clear();
}

bool TcpLogger::isRunning() const
{
    return m_pServer->isListening();
}

void TcpLogger::resetConnections()
{
    for (const QPointer<TcpSession> &session : qAsConst(m_sessions))
        if (session)
            session->reset();
    m_sessions.clear();
}

int TcpLogger::connectionCount() const
{
    int count = 0;
    for (const QPointer<TcpSession> &session : m_sessions)
        count += session ? 1 : 0;
    return count;
}

void TcpLogger::slotNewConnection()
{
    m_sessions.removeAll(nullptr);
    while (QTcpSocket *socket = m_pServer->nextPendingConnection())
        m_sessions.append(new TcpSession(socket, this, this));
}

QByteArray TcpLogger::macAddress() const
{
    return QByteArray::fromHex("024B580000") + char(m_nIndex & 0xFF);
}

QString TcpLogger::loggerLine() const
{
    return QStringLiteral("LOGGER %1 TCP %2 %3 %4")
        .arg(id(), m_advertise.toString())
        .arg(m_nPort)
        .arg(QString::fromLatin1(macAddress().toHex().toUpper()));
}

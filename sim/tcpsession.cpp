#include "sim/tcpsession.h"

#include "sim/replyqueue.h"
#include "sim/simlogger.h"

#include <QTcpSocket>

#include <sys/socket.h>

TcpSession::TcpSession(QTcpSocket *socket, SimLogger *logger, QObject *parent)
    : QObject(parent), m_pSocket(socket), m_pLogger(logger)
{
    m_pSocket->setParent(this);
    // Without this a split answer's second write could wait for the first one's ACK.
    m_pSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_pQueue = new ReplyQueue(
        [this](const QByteArray &bytes) {
            if (m_pSocket->state() != QAbstractSocket::ConnectedState)
                return;
            m_pSocket->write(bytes);
            m_pSocket->flush();
        },
        [this]() { m_pSocket->disconnectFromHost(); }, this);
    connect(m_pSocket, &QTcpSocket::readyRead, this, &TcpSession::slotReadyRead);
    connect(m_pSocket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
}

void TcpSession::slotReadyRead()
{
    const QByteArray data = m_pSocket->readAll();
    if (m_pSocket->state() == QAbstractSocket::ConnectedState)
        m_pLogger->feedRequests(&m_pending, data, m_pQueue);
}

void TcpSession::drop()
{
    m_pQueue->clear();
    m_pSocket->abort();
    deleteLater();
}

void TcpSession::reset()
{
    m_pQueue->clear();
    const qintptr fd = m_pSocket->socketDescriptor();
    if (fd >= 0) {
        struct linger hard = {1, 0};
        ::setsockopt(int(fd), SOL_SOCKET, SO_LINGER, &hard, sizeof(hard));
    }
    m_pSocket->abort();
    deleteLater();
}

#include "sim/discoveryresponder.h"

#include "sim/tcplogger.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtEndian>

namespace {

constexpr int REQUEST_SIZE = 50;
constexpr int REPLY_SIZE = 28;
constexpr int ID_FIELD_SIZE = 12;

} // namespace

DiscoveryResponder::DiscoveryResponder(const QList<TcpLogger *> &loggers, QObject *parent)
    : QObject(parent), m_loggers(loggers), m_pSocket(new QUdpSocket(this))
{
    connect(m_pSocket, &QUdpSocket::readyRead, this, &DiscoveryResponder::slotReadyRead);
}

bool DiscoveryResponder::start(const QHostAddress &bind, quint16 port, QString *error)
{
    // No address sharing: a second simulator on the same port must fail loudly instead of
    // silently stealing half of the requests.
    if (!m_pSocket->bind(bind, port, QAbstractSocket::DontShareAddress)) {
        if (error)
            *error = QStringLiteral("discovery: cannot bind %1:%2: %3")
                         .arg(bind.toString())
                         .arg(port)
                         .arg(m_pSocket->errorString());
        return false;
    }
    return true;
}

bool DiscoveryResponder::isRequest(const QByteArray &datagram)
{
    return datagram == QByteArray(REQUEST_SIZE, '\x01');
}

QByteArray DiscoveryResponder::replyFor(const TcpLogger &logger)
{
    QByteArray reply(REPLY_SIZE, '\0');
    const QByteArray keyword("KESTRELIX");
    reply.replace(0, keyword.size(), keyword);
    const quint32 ipv4 = logger.advertisedAddress().toIPv4Address();
    qToBigEndian(ipv4, reply.data() + ID_FIELD_SIZE);
    reply.replace(16, 6, logger.macAddress());
    reply[22] = 0;
    reply[23] = 0;
    qToLittleEndian(quint32(logger.port()), reply.data() + 24);
    return reply;
}

void DiscoveryResponder::slotReadyRead()
{
    while (m_pSocket->hasPendingDatagrams()) {
        const QNetworkDatagram request = m_pSocket->receiveDatagram();
        if (!isRequest(request.data()))
            continue;
        for (TcpLogger *logger : qAsConst(m_loggers))
            if (logger->isRunning())
                m_pSocket->writeDatagram(replyFor(*logger), request.senderAddress(),
                                         request.senderPort());
    }
}

#include "discovery/networkdiscovery.h"
#include "store/logcategories.h"

#include "discovery/availabledevicelist.h"
#include "discovery/discoveryreply.h"
#include "discovery/localaddress.h"

#include <QDebug>
#include <QHostAddress>
#include <QUdpSocket>

namespace {
// Linux refuses to bind the receive socket to the local address and the send socket's port
// unless both sockets allow address reuse; Windows shares by default. Either way the answers,
// sent to the request's source port, land on the receive socket.
constexpr QAbstractSocket::BindMode kSharedBind =
    QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint;
} // namespace

NetworkDiscovery::NetworkDiscovery(AvailableDeviceList *devices, QObject *parent)
    : QObject(parent), m_pDevices(devices)
{
}

NetworkDiscovery::~NetworkDiscovery()
{
    closeSockets();
}

void NetworkDiscovery::deleteSocket(QUdpSocket *&socket)
{
    if (!socket)
        return;
    socket->abort();
    socket->close();
    delete socket;
    socket = nullptr;
}

void NetworkDiscovery::closeSockets()
{
    deleteSocket(m_rcvUdpSocket);
    deleteSocket(m_sndUdpSocket);
}

void NetworkDiscovery::broadcastDevice()
{
    closeSockets();

    m_sndUdpSocket = new QUdpSocket(this);
    connect(m_sndUdpSocket, &QObject::destroyed, this, &NetworkDiscovery::slotSndUdpSocketDeleted);
    m_rcvUdpSocket = new QUdpSocket(this);
    connect(m_rcvUdpSocket, &QUdpSocket::readyRead, this, &NetworkDiscovery::readPendingDatagrams);
    connect(m_rcvUdpSocket, &QObject::destroyed, this, &NetworkDiscovery::slotRcvUdpSocketDeleted);

    QHostAddress localAddress;
    if (!getLocalIPv4Address(localAddress)) {
        qCWarning(lcDiscovery)
            << "[ERROR] VelmoranMain::broadcastDevice : can't get local ip address.";
        emit timedMessage(QStringLiteral("WARNING"),
                          QStringLiteral("Cannot Get Local IP address.\nPlease retry."));
        return;
    }
    qCDebug(lcDiscovery) << "VelmoranMain::broadcastDevice : local ip address : "
                         << localAddress.toString();

    const QHostAddress broadcastAddress = broadcastAddressFor(localAddress);
    m_sndUdpSocket->bind(QHostAddress(QHostAddress::AnyIPv4), 0, kSharedBind);
    m_sndUdpSocket->connectToHost(broadcastAddress, DISCOVERY_PORT, QIODevice::ReadWrite);
    if (!m_sndUdpSocket->isValid()) {
        qCWarning(lcDiscovery)
            << "[ERROR] VelmoranMain::broadcastDevice : m_sndUdpSocket->isValid() : false";
        emit timedMessage(QStringLiteral("WARNING"),
                          QStringLiteral("UDP Send Socket Down.\nPlease retry."));
        return;
    }

    const quint16 localPort = m_sndUdpSocket->localPort();
    qCDebug(lcDiscovery) << "VelmoranMain::broadcastDevice : m_sndUdpSocket->localPort : "
                         << localPort;
    const bool bound = m_rcvUdpSocket->bind(localAddress, localPort, kSharedBind);
    qCDebug(lcDiscovery) << "VelmoranMain::broadcastDevice : m_rcvUdpSocket->bind : " << bound;

    const qint64 written = m_sndUdpSocket->write(discoveryRequest());
    qCDebug(lcDiscovery) << "VelmoranMain::broadcastDevice : m_sndUdpSocket->write : " << written;
    m_sndUdpSocket->disconnectFromHost();
}

void NetworkDiscovery::readPendingDatagrams()
{
    qCDebug(lcDiscovery) << "VelmoranMain::readPendingDatagrams()";
    if (!m_rcvUdpSocket)
        return;
    int count = 0;
    while (m_rcvUdpSocket->hasPendingDatagrams()) {
        ++count;
        const qint64 size = m_rcvUdpSocket->pendingDatagramSize();
        qCDebug(lcDiscovery) << "VelmoranMain::readPendingDatagrams : cnt : " << count
                             << ", size : " << size;
        QByteArray datagram(qMax<qint64>(size, 0), '\0');
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 read =
            m_rcvUdpSocket->readDatagram(datagram.data(), datagram.size(), &sender, &senderPort);
        // Only the bytes actually received count.
        datagram.truncate(qMax<qint64>(read, 0));
        qCDebug(lcDiscovery) << "VelmoranMain::readPendingDatagrams : sender : "
                             << sender.toString() << senderPort;
        qCDebug(lcDiscovery) << "VelmoranMain::readPendingDatagrams : datagram : "
                             << datagram.toHex(' ');

        DiscoveryReply reply;
        if (!parseDiscoveryReply(datagram, &reply))
            continue;
        qCDebug(lcDiscovery) << "ipaddr : " << reply.ipAddress;
        qCDebug(lcDiscovery) << "macaddr : " << reply.macAddress;
        qCDebug(lcDiscovery) << "usedhcp : " << reply.useDhcp;
        qCDebug(lcDiscovery) << "portnumber : " << reply.port;
        m_pDevices->mergeDiscoveryReply(reply);
    }
    emit availableDevicesChanged();
    qCDebug(lcDiscovery).nospace() << "VelmoranMain::readPendingDatagrams m_availDeviceList size :["
                                   << m_pDevices->all().size() << "]";
}

void NetworkDiscovery::slotSndUdpSocketDeleted()
{
    qCDebug(lcDiscovery) << "VelmoranMain::slotSndUdpSocketDeleted";
}

void NetworkDiscovery::slotRcvUdpSocketDeleted()
{
    qCDebug(lcDiscovery) << "VelmoranMain::slotRcvUdpSocketDeleted";
}

#pragma once

#include <QObject>
#include <QString>

class AvailableDeviceList;
class QUdpSocket;

// Finds network loggers: one broadcast request, and every answer merged into the device list as
// it arrives. The sockets live until the next broadcast or until closeSockets().
class NetworkDiscovery : public QObject
{
    Q_OBJECT

public:
    explicit NetworkDiscovery(AvailableDeviceList *devices, QObject *parent = nullptr);
    ~NetworkDiscovery() override;

    void broadcastDevice();
    void closeSockets();

    // Null while no broadcast is pending.
    QUdpSocket *sendSocket() const { return m_sndUdpSocket; }
    QUdpSocket *receiveSocket() const { return m_rcvUdpSocket; }

public slots:
    void readPendingDatagrams();
    void slotSndUdpSocketDeleted();
    void slotRcvUdpSocketDeleted();

signals:
    void timedMessage(const QString &title, const QString &text);
    void availableDevicesChanged();

private:
    static void deleteSocket(QUdpSocket *&socket);

    AvailableDeviceList *m_pDevices;
    QUdpSocket *m_sndUdpSocket = nullptr;
    QUdpSocket *m_rcvUdpSocket = nullptr;
};

#pragma once

#include "device/abstractdevice.h"
#include "device/linebuffer.h"
#include "device/pollinterval.h"

#include <QAbstractSocket>
#include <QObject>

class QTcpSocket;

// The link of a network logger: a TCP client that connects around polls according to the
// poll interval and the keep-alive flag. While the buzzer flag is set a setup exchange
// owns the connection: polls become writeStartSync() and replies pass unfiltered.
class TelnetDevice : public QObject, public AbstractDevice
{
    Q_OBJECT
    Q_INTERFACES(AbstractDevice)

public:
    explicit TelnetDevice(QObject *parent = nullptr);
    ~TelnetDevice() override;

    bool open() override;
    void close() override;
    QString deviceInfo() const override;
    virtual quint16 port() const;
    int deviceType() const override;
    bool isOpen() const override;
    void setDeviceInfo(const QString &host, quint16 port) override;
    void write() override;
    bool connect(const char *signal, const QObject *receiver, const char *method) override;
    bool disconnect(const char *signal, const QObject *receiver, const char *method) override;

    qint64 writeCommand(const QByteArray &data);
    void sendPoll();

    bool buzzerFlag() const { return m_bBuzzerFlag; }
    void setBuzzerFlag(bool on) { m_bBuzzerFlag = on; }
    bool keepAlive() const { return m_bKeepAlive; }
    void setKeepAlive(bool on) { m_bKeepAlive = on; }
    // Decides whether the connection closes after each reply.
    int pollInterval() const { return m_nPollInterval; }
    void setPollInterval(int ms) { m_nPollInterval = ms; }

Q_SIGNALS:
    void readyRead(const QString &text);
    void writeStartSync();

public Q_SLOTS:
    void readData();
    void telnetDeleted();
    void telnetStateChanged(QAbstractSocket::SocketState state);
    void sockConnected();
    void sockError(QAbstractSocket::SocketError error);

private:
    void applySocketOptions();
    QString flagText() const;

    int m_nDeviceType;
    QString m_strHost;
    quint16 m_nPort = 23;
    QTcpSocket *m_pSocket = nullptr;
    bool m_bConnected = false;
    bool m_bBuzzerFlag = false;
    bool m_bKeepAlive = false;
    int m_nPollInterval = DEFAULT_POLL_INTERVAL_MS;
    LineBuffer m_lineBuffer;
};

#pragma once

#include "device/abstractdevice.h"
#include "device/linebuffer.h"

#include <QObject>
#include <QSerialPort>

// The link of a USB logger: its virtual serial port at 115200 8N1 without flow control.
// Sends only the poll request and hands each completed reply on without its marker.
class SerialDevice : public QObject, public AbstractDevice
{
    Q_OBJECT
    Q_INTERFACES(AbstractDevice)

public:
    explicit SerialDevice(QObject *parent = nullptr);
    ~SerialDevice() override;

    bool open() override;
    void close() override;
    QString deviceInfo() const override;
    int deviceType() const override;
    bool isOpen() const override;
    void setDeviceInfo(const QString &address, quint16 port) override;
    void write() override;
    bool connect(const char *signal, const QObject *receiver, const char *method) override;
    bool disconnect(const char *signal, const QObject *receiver, const char *method) override;

    void writeCommand(const QByteArray &data);

Q_SIGNALS:
    void connected();
    void disconnected();
    void readyRead(const QString &text);

public Q_SLOTS:
    void readData();
    void serialDeleted();
    void serialError(QSerialPort::SerialPortError error);

private:
    int m_nDeviceType;
    QString m_strPortName;
    QSerialPort *m_pSerialPort = nullptr;
    LineBuffer m_lineBuffer;
    bool m_bWriteFailing = false; // the last write failed and was reported
};

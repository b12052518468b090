#pragma once

#include <QObject>
#include <QString>

// The link between a configured device and its logger. connect/disconnect take the
// SIGNAL()/SLOT() texts, for a holder of this interface that knows no concrete link type;
// the configured device, which creates its link, connects the link's signals directly.
class AbstractDevice
{
public:
    virtual ~AbstractDevice() = default;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    virtual bool open() = 0;
    virtual void write() = 0;
    virtual QString deviceInfo() const = 0;
    virtual int deviceType() const = 0;
    virtual bool connect(const char *signal, const QObject *receiver, const char *method) = 0;
    virtual bool disconnect(const char *signal, const QObject *receiver, const char *method) = 0;
    virtual void setDeviceInfo(const QString &address, quint16 port) = 0;
};

Q_DECLARE_INTERFACE(AbstractDevice, "com.velmoran.AbstractDevice")

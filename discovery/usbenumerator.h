#pragma once

#include <QList>
#include <QString>

// One attached USB logger: the serial port it is reached on and its serial number.
struct UsbPortPair
{
    QString port;
    QString serial;
};

// Lists the USB loggers attached now. The checkConnection tick asks it every 1500 ms, so an
// implementation must answer quickly and without waiting on any device.
class UsbEnumerator
{
public:
    virtual ~UsbEnumerator() = default;
    virtual QList<UsbPortPair> enumerateUsbLoggers() = 0;
};

// The enumerator of the platform this program was built for (udev on Linux, SetupAPI on Windows).
// The caller owns the result.
UsbEnumerator *createPlatformUsbEnumerator();

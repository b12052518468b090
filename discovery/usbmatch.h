#pragma once

#include "discovery/usbenumerator.h"

#include <QString>
#include <QStringList>
#include <optional>

// What the Windows device-setup interface tells about one present USB device; a property that
// could not be read is empty.
struct UsbDeviceProperties
{
    QStringList hardwareIds;
    QString friendlyName;
    QString locationInformation;
};

namespace UsbMatch {

// Both platforms decide by the same rule whether vendor and product identify a logger, so a
// logger found on Linux is exactly the one a Windows user would see.
bool isLoggerVendorProduct(const QString &vendor, const QString &product);

// The serial number as the logger reports it, without the "QJ_SERIES__" prefix of its firmware.
QString cleanSerialNumber(const QString &text);

// Vendor and product text from the first hardware ID ("USB\VID_04D8&PID_000A&REV_0100");
// both empty when there is none or it does not match.
void parseHardwareId(const QStringList &hardwareIds, QString *vendor, QString *product);

// The COM port from a driver's friendly name ("USB Serial Port (COM12)" -> "COM12"); empty while
// the name carries no "(COM" ... ")", i.e. before the driver assigned a port.
QString portFromFriendlyName(const QString &friendlyName);

// A Windows device: a logger with an assigned port, or nothing.
std::optional<UsbPortPair> matchWindowsDevice(const UsbDeviceProperties &device);

// A Linux tty whose USB parent reports vendor, product and serial: the device node is the port.
std::optional<UsbPortPair> matchTtyDevice(const QString &vendor, const QString &product,
                                          const QString &deviceNode, const QString &usbSerial);

} // namespace UsbMatch

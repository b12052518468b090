#pragma once

#include "discovery/availabledevice.h"

#include <QByteArray>
#include <QHostAddress>
#include <QStringList>

// A logger's answer to the discovery request, field by field as the logger lays it out.
inline QByteArray discoveryAnswer(const QByteArray &identification, const char *ip,
                                  quint8 macLastByte, quint32 port, char dhcp = 0)
{
    QByteArray datagram = identification.leftJustified(12, '\0', true);
    const quint32 address = QHostAddress(QString::fromLatin1(ip)).toIPv4Address();
    for (int shift = 24; shift >= 0; shift -= 8)
        datagram += char(address >> shift);
    datagram += QByteArray("\x02\x4B\x58\x00\x00", 5) + char(macLastByte) + '\0' + dhcp;
    for (int i = 0; i < 4; ++i)
        datagram += char(port >> (8 * i));
    return datagram;
}

// "id@address:port" of each entry, in list order.
inline QString ids(const QList<AvailableDevice *> &list)
{
    QStringList result;
    for (const AvailableDevice *device : list)
        result << device->id + "@" + device->address + ":" + QString::number(device->port);
    return result.join(u' ');
}

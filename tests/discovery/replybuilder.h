#pragma once

#include <QByteArray>

// A logger's answer to the discovery request, field by field as the logger lays it out.
inline QByteArray discoveryAnswer(const QByteArray &identification, const QByteArray &address,
                                  quint8 macLastByte, quint32 port)
{
    QByteArray datagram = identification.leftJustified(12, '\0', true);
    datagram += address.left(4);
    datagram += QByteArray("\x02\x4B\x58\x00\x00", 5);
    datagram += char(macLastByte);
    datagram += '\0';
    datagram += '\0';
    for (int i = 0; i < 4; ++i)
        datagram += char((port >> (8 * i)) & 0xFF);
    return datagram;
}

inline QByteArray ipv4Bytes(quint8 a, quint8 b, quint8 c, quint8 d)
{
    QByteArray bytes;
    for (quint8 octet : {a, b, c, d})
        bytes += char(octet);
    return bytes;
}

#pragma once

#include <QString>

// One discovered logger: USB (found by enumeration) or network (answered the broadcast).
struct AvailableDevice
{
    QString id;      // USB: serial number; network: MAC as 12 upper-case hex digits
    QString address; // USB: serial port name; network: IPv4 address text
    quint16 port = 23;
    int kind = 0; // LINK_SERIAL or LINK_TCP
};

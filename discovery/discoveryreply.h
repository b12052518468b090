#pragma once

#include <QByteArray>
#include <QString>

constexpr quint16 DISCOVERY_PORT = 50000;

// What a network logger tells about itself in answer to the discovery request.
struct DiscoveryReply
{
    QString ipAddress;  // dotted decimal
    QString macAddress; // 12 upper-case hex digits
    int useDhcp = 0;
    quint16 port = 0; // low 16 bits of the reported 32-bit port
};

// The 28-byte answer. false: not an answer to take (no "KESTRELIX" before the first NUL, or too
// short to hold every field); out is then untouched.
bool parseDiscoveryReply(const QByteArray &datagram, DiscoveryReply *out);

// The request every logger answers: 50 bytes of 0x01.
QByteArray discoveryRequest();

#include "discovery/discoveryreply.h"

namespace {
constexpr int kReplySize = 28;
constexpr int kAddressOffset = 12;
constexpr int kMacOffset = 16;
constexpr int kMacSize = 6;
constexpr int kDhcpOffset = 23;
constexpr int kPortOffset = 24;
} // namespace

bool parseDiscoveryReply(const QByteArray &datagram, DiscoveryReply *out)
{
    const int nul = datagram.indexOf('\0');
    const QByteArray text = nul < 0 ? datagram : datagram.left(nul);
    if (!text.contains("KESTRELIX"))
        return false;
    // A short answer carrying the keyword has fields outside the datagram: never read past it.
    if (datagram.size() < kReplySize)
        return false;

    const auto byte = [&datagram](int offset) { return static_cast<quint8>(datagram.at(offset)); };
    out->ipAddress = QStringLiteral("%1.%2.%3.%4")
                         .arg(byte(kAddressOffset))
                         .arg(byte(kAddressOffset + 1))
                         .arg(byte(kAddressOffset + 2))
                         .arg(byte(kAddressOffset + 3));
    out->macAddress = QString::fromLatin1(datagram.mid(kMacOffset, kMacSize).toHex().toUpper());
    out->useDhcp = byte(kDhcpOffset);
    const quint32 port = quint32(byte(kPortOffset)) | (quint32(byte(kPortOffset + 1)) << 8) |
                         (quint32(byte(kPortOffset + 2)) << 16) |
                         (quint32(byte(kPortOffset + 3)) << 24);
    out->port = static_cast<quint16>(port & 0xFFFF);
    return true;
}

QByteArray discoveryRequest()
{
    return QByteArray(50, '\x01');
}

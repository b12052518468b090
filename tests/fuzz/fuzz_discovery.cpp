#include "tests/fuzz/fuzzsupport.h"

#include "discovery/discoveryreply.h"

#include <QHostAddress>

// One datagram on the discovery port, from anyone on the network.

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char *>(data), int(size));
    DiscoveryReply reply;
    reply.port = 4711;
    if (!parseDiscoveryReply(datagram, &reply)) {
        FUZZ_CHECK(reply.ipAddress.isEmpty() && reply.macAddress.isEmpty());
        FUZZ_CHECK(reply.useDhcp == 0 && reply.port == 4711);
        return 0;
    }

    FUZZ_CHECK(datagram.size() >= 28);
    const int nul = datagram.indexOf('\0');
    FUZZ_CHECK((nul < 0 ? datagram : datagram.left(nul)).contains("KESTRELIX"));
    QHostAddress address;
    FUZZ_CHECK(address.setAddress(reply.ipAddress));
    FUZZ_CHECK(address.protocol() == QAbstractSocket::IPv4Protocol);
    FUZZ_CHECK(reply.macAddress.size() == 12);
    for (const QChar c : reply.macAddress)
        FUZZ_CHECK((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'));
    FUZZ_CHECK(reply.useDhcp >= 0 && reply.useDhcp <= 255);
    return 0;
}

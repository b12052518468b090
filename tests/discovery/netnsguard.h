#pragma once

#include <QHostAddress>
#include <QNetworkInterface>
#include <QStringList>

// Discovery broadcasts leave loopback, so its tests run only inside the private namespace made
// by scripts/netns-run.sh: nothing but lo and the veth pair, v0 carrying 10.99.0.1.
inline bool insideDiscoveryTestNamespace(QString *why)
{
    if (qEnvironmentVariable("VELMORAN_IN_NETNS") != QLatin1String("1")) {
        *why = QStringLiteral("not started by scripts/netns-run.sh");
        return false;
    }
    bool v0HasAddress = false;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        if (!QStringList{"lo", "v0", "v1"}.contains(interface.name())) {
            *why = QStringLiteral("unexpected interface ") + interface.name();
            return false;
        }
        for (const QNetworkAddressEntry &entry : interface.addressEntries())
            v0HasAddress |= interface.name() == "v0" && entry.ip() == QHostAddress("10.99.0.1");
    }
    if (!v0HasAddress)
        *why = QStringLiteral("v0 does not carry 10.99.0.1");
    return v0HasAddress;
}

#define REQUIRE_DISCOVERY_NAMESPACE()                                                              \
    do {                                                                                           \
        QString why;                                                                               \
        if (!insideDiscoveryTestNamespace(&why))                                                   \
            QSKIP(qPrintable(                                                                      \
                QStringLiteral("refusing to broadcast outside the test namespace: ") + why));      \
    } while (false)

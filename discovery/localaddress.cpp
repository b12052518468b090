#include "discovery/localaddress.h"

#include <QNetworkInterface>

bool getLocalIPv4Address(QHostAddress &out)
{
    bool found = false;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const QNetworkInterface::InterfaceFlags flags = interface.flags();
        if (!interface.isValid() || !flags.testFlag(QNetworkInterface::IsRunning) ||
            !flags.testFlag(QNetworkInterface::IsUp) ||
            flags.testFlag(QNetworkInterface::IsLoopBack) ||
            flags.testFlag(QNetworkInterface::IsPointToPoint))
            continue;
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            const QHostAddress address = entry.ip();
            if (address.protocol() == QAbstractSocket::IPv4Protocol &&
                address != QHostAddress(QHostAddress::LocalHost)) {
                out = address;
                found = true;
                break;
            }
        }
    }
    return found;
}

QHostAddress broadcastAddressFor(const QHostAddress &local)
{
    const QStringList fields = local.toString().split(QLatin1Char('.'));
    return QHostAddress(fields.mid(0, 3).join(QLatin1Char('.')) + QStringLiteral(".255"));
}

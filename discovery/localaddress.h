#pragma once

#include <QHostAddress>

// The local IPv4 address discovery sends from: the first IPv4 address (not 127.0.0.1) of the
// last interface that is valid, running, up, not loopback and not point-to-point. false when
// there is none; out is then untouched.
bool getLocalIPv4Address(QHostAddress &out);

// The first three dotted fields of local followed by ".255", whatever the real netmask.
QHostAddress broadcastAddressFor(const QHostAddress &local);

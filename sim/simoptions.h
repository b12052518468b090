#pragma once

#include <QHash>
#include <QHostAddress>
#include <QString>
#include <QStringList>

struct SimOptions
{
    int tcpCount = 0;
    QHostAddress bind = QHostAddress(QHostAddress::LocalHost);
    quint16 tcpBasePort = 0;
    QHostAddress advertise;
    int usbCount = 0;
    QString usbLinkDir;
    bool discovery = false;
    QHostAddress discoveryBind = QHostAddress(QHostAddress::AnyIPv4);
    QHash<QString, double> drift;
    quint32 seed = 1;
};

enum class ParseResult
{
    Run,
    ExitOk,
    ExitError
};

// Fills options from the command line; prints the help text or the error itself.
ParseResult parseSimOptions(const QStringList &arguments, SimOptions *options);

#include "device/pollinterval.h"

QString intervalText(int ms)
{
    switch (ms) {
    case 1000:
        return QStringLiteral("1 sec");
    case 5000:
        return QStringLiteral("5 sec");
    case 10000:
        return QStringLiteral("10 sec");
    case 60000:
        return QStringLiteral("1 min");
    case 300000:
        return QStringLiteral("5 min");
    case 600000:
        return QStringLiteral("10 min");
    default:
        return QString();
    }
}

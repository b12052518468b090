#include "view/unittext.h"

QString unitText(int unitIndex, const QString &custom)
{
    switch (unitIndex) {
    case 0:
        return QStringLiteral("");
    case 1:
        return QString(QChar(0x00B0)) + QStringLiteral("C");
    case 2:
        return QString(QChar(0x00B0)) + QStringLiteral("F");
    case 3:
        return QStringLiteral("%RH");
    case 4:
        return custom;
    default:
        return QString();
    }
}

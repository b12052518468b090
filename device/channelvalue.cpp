#include "device/channelvalue.h"

#include <QLocale>

#include <cmath>

ChannelValue parseChannelField(QStringView field)
{
    if (field.contains(u"----"))
        return {NO_VALUE, field.toString()};

    static const QLocale cLocale = QLocale::c();
    bool ok = false;
    const double value = cLocale.toDouble(field, &ok);
    if (!ok || !std::isfinite(value))
        return {NO_VALUE, QStringLiteral("----")};
    return {value, QString::number(value, 'f', 2)};
}

double alarmLimit(float limit)
{
    return std::round(static_cast<double>(limit) * 100.0) / 100.0;
}

bool isOutsideAlarmRange(double value, float min, float max)
{
    if (value == NO_VALUE)
        return false;
    const double lower = alarmLimit(min);
    const double upper = alarmLimit(max);
    if (lower == upper)
        return false;
    return value < lower || value > upper;
}

#include "device/channelvalue.h"

#include <charconv>
#include <cmath>

namespace {
// Longer than any number a logger sends; longer fields are not numbers.
constexpr int MAX_NUMBER_LENGTH = 40;

// A decimal number with "." as decimal point whatever the user's locale, the whole field
// and nothing else. std::from_chars ignores the C locale that QCoreApplication sets up.
bool readNumber(QStringView field, double *value)
{
    if (field.startsWith(u'+'))
        field = field.mid(1);
    if (field.isEmpty() || field.size() > MAX_NUMBER_LENGTH)
        return false;
    char text[MAX_NUMBER_LENGTH];
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char16_t c = field.at(i).unicode();
        if (c > 0x7f)
            return false;
        text[i] = static_cast<char>(c);
    }
    const char *end = text + field.size();
    const auto result = std::from_chars(text, end, *value, std::chars_format::general);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(*value);
}
} // namespace

ChannelValue parseChannelField(QStringView field)
{
    if (field.contains(u"----"))
        return {NO_VALUE, field.toString()};

    double value = 0;
    if (!readNumber(field, &value))
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

#include "discovery/registrydata.h"

namespace RegistryData {

namespace {

char16_t unitAt(const unsigned char *data, std::size_t index)
{
    return static_cast<char16_t>(data[2 * index] | (data[2 * index + 1] << 8));
}

std::u16string numberText(std::uint32_t number)
{
    const std::string digits = std::to_string(number);
    return std::u16string(digits.begin(), digits.end());
}

} // namespace

Value convert(unsigned long dataType, const unsigned char *data, std::size_t size)
{
    Value value;
    const std::size_t units = data ? size / 2 : 0;
    switch (dataType) {
    case Sz:
    case ExpandSz:
        value.kind = Value::Kind::Text;
        for (std::size_t i = 0; i < units; ++i) {
            const char16_t unit = unitAt(data, i);
            if (unit == 0)
                break;
            value.text.push_back(unit);
        }
        break;
    case None:
    case Binary:
        value.kind = Value::Kind::Text;
        for (std::size_t i = 0; i < units; ++i)
            value.text.push_back(unitAt(data, i));
        break;
    case Dword:
    case DwordBigEndian:
        // Stored order is kept for both: the big-endian type is not swapped.
        if (!data || size < 4)
            break;
        value.kind = Value::Kind::Number;
        value.number = static_cast<std::uint32_t>(data[0]) |
                       (static_cast<std::uint32_t>(data[1]) << 8) |
                       (static_cast<std::uint32_t>(data[2]) << 16) |
                       (static_cast<std::uint32_t>(data[3]) << 24);
        break;
    case MultiSz: {
        value.kind = Value::Kind::TextList;
        std::u16string current;
        for (std::size_t i = 0; i < units; ++i) {
            const char16_t unit = unitAt(data, i);
            if (unit != 0) {
                current.push_back(unit);
                continue;
            }
            if (current.empty())
                return value;
            value.list.push_back(current);
            current.clear();
        }
        // A last string that the data ends without terminating still counts.
        if (!current.empty())
            value.list.push_back(current);
        break;
    }
    default:
        break;
    }
    return value;
}

std::u16string toText(const Value &value)
{
    switch (value.kind) {
    case Value::Kind::Text:
        return value.text;
    case Value::Kind::Number:
        return numberText(value.number);
    case Value::Kind::TextList:
        return value.list.size() == 1 ? value.list.front() : std::u16string();
    case Value::Kind::Invalid:
        break;
    }
    return std::u16string();
}

std::vector<std::u16string> toTextList(const Value &value)
{
    switch (value.kind) {
    case Value::Kind::Text:
        return {value.text};
    case Value::Kind::Number:
        return {numberText(value.number)};
    case Value::Kind::TextList:
        return value.list;
    case Value::Kind::Invalid:
        break;
    }
    return {};
}

} // namespace RegistryData

#pragma once

// Converts the raw data of a device registry property by its registry data type. Kept free of
// Qt and of <windows.h> so that the Windows device layer can use it and Linux can test it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace RegistryData {

// The registry data type codes (REG_NONE ... REG_MULTI_SZ) as the registry defines them.
enum Type : unsigned long
{
    None = 0,
    Sz = 1,
    ExpandSz = 2,
    Binary = 3,
    Dword = 4,
    DwordBigEndian = 5,
    MultiSz = 7,
};

struct Value
{
    enum class Kind
    {
        Invalid,
        Text,
        Number,
        TextList
    };
    Kind kind = Kind::Invalid;
    std::u16string text;
    std::uint32_t number = 0;
    std::vector<std::u16string> list;
};

// data holds size bytes of little-endian UTF-16 or integer data; nothing beyond them is read.
Value convert(unsigned long dataType, const unsigned char *data, std::size_t size);

// A value read as one text: a list of exactly one text gives that text, any other list none.
std::u16string toText(const Value &value);

// A value read as a text list: a single text gives a list of it.
std::vector<std::u16string> toTextList(const Value &value);

} // namespace RegistryData

#include "discovery/registrydata.h"

#include <QTest>

using RegistryData::Value;
using namespace std::string_literals;

namespace {

std::vector<unsigned char> utf16(const std::u16string &text)
{
    std::vector<unsigned char> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

Value convert(unsigned long type, const std::vector<unsigned char> &bytes)
{
    return RegistryData::convert(type, bytes.data(), bytes.size());
}

QString q(const std::u16string &text)
{
    return QString::fromStdU16String(text);
}

} // namespace

class RegistryDataTest : public QObject
{
    Q_OBJECT

private slots:
    void stringTypesStopAtTheFirstNul()
    {
        const auto bytes = utf16(u"USB Serial Port (COM12)\0junk"s);
        for (unsigned long type : {RegistryData::Sz, RegistryData::ExpandSz}) {
            const Value value = convert(type, bytes);
            QCOMPARE(value.kind, Value::Kind::Text);
            QCOMPARE(q(value.text), QString("USB Serial Port (COM12)"));
        }
    }

    void unterminatedStringEndsWithTheData()
    {
        auto bytes = utf16(u"QJ_SERIES__KX0001");
        bytes.push_back('Z'); // an odd trailing byte is no whole unit
        QCOMPARE(q(convert(RegistryData::Sz, bytes).text), QString("QJ_SERIES__KX0001"));
    }

    void binaryAndNoneKeepEveryUnitIncludingNuls()
    {
        const auto bytes = utf16(u"AB\0C"s);
        for (unsigned long type : {RegistryData::None, RegistryData::Binary}) {
            const Value value = convert(type, bytes);
            QCOMPARE(value.kind, Value::Kind::Text);
            QCOMPARE(value.text.size(), std::size_t(4));
            QCOMPARE(value.text[3], u'C');
        }
    }

    void dwordTypesReadTheFirstFourBytesAsStored()
    {
        const std::vector<unsigned char> bytes{0x78, 0x56, 0x34, 0x12, 0xFF};
        QCOMPARE(convert(RegistryData::Dword, bytes).number, 0x12345678u);
        const Value bigEndian = convert(RegistryData::DwordBigEndian, bytes);
        QCOMPARE(bigEndian.kind, Value::Kind::Number);
        QCOMPARE(bigEndian.number, 0x12345678u);
        QCOMPARE(q(RegistryData::toText(bigEndian)), QString::number(0x12345678));
    }

    void dwordShorterThanFourBytesIsInvalid()
    {
        QCOMPARE(convert(RegistryData::Dword, {1, 2, 3}).kind, Value::Kind::Invalid);
    }

    void multiStringStopsAtTheFirstEmptyString()
    {
        const auto bytes =
            utf16(u"USB\\VID_04D8&PID_000A&REV_0100\0USB\\VID_04D8&PID_000A\0\0ignored\0\0"s);
        const Value value = convert(RegistryData::MultiSz, bytes);
        QCOMPARE(value.kind, Value::Kind::TextList);
        QCOMPARE(value.list.size(), std::size_t(2));
        QCOMPARE(q(value.list[0]), QString("USB\\VID_04D8&PID_000A&REV_0100"));
        QCOMPARE(q(value.list[1]), QString("USB\\VID_04D8&PID_000A"));
    }

    void emptyMultiStringIsAnEmptyList()
    {
        const Value value = RegistryData::convert(RegistryData::MultiSz, nullptr, 0);
        QCOMPARE(value.kind, Value::Kind::TextList);
        QVERIFY(value.list.empty());
        QVERIFY(RegistryData::toTextList(value).empty());
    }

    void unknownTypeIsInvalidAndReadsAsEmpty()
    {
        const Value value = convert(11, utf16(u"qword"));
        QCOMPARE(value.kind, Value::Kind::Invalid);
        QVERIFY(RegistryData::toText(value).empty());
        QVERIFY(RegistryData::toTextList(value).empty());
    }

    void singleTextReadsAsAOneElementList()
    {
        const auto list =
            RegistryData::toTextList(convert(RegistryData::Sz, utf16(u"USB\\VID_04D8&PID_000A")));
        QCOMPARE(list.size(), std::size_t(1));
        QCOMPARE(q(list[0]), QString("USB\\VID_04D8&PID_000A"));
    }

    void listReadsAsTextOnlyWhenItHoldsOneText()
    {
        const auto one = utf16(u"only\0\0"s);
        QCOMPARE(q(RegistryData::toText(convert(RegistryData::MultiSz, one))), QString("only"));
        const auto two = utf16(u"a\0b\0\0"s);
        QVERIFY(RegistryData::toText(convert(RegistryData::MultiSz, two)).empty());
    }
};

QTEST_GUILESS_MAIN(RegistryDataTest)
#include "tst_registrydata.moc"

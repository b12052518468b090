#include "device/devicetypes.h"
#include "discovery/availabledevicelist.h"
#include "discovery/discoveryreply.h"
#include "discovery/registrydata.h"
#include "discovery/usbmatch.h"
#include "replybuilder.h"

#include <QTest>

namespace {

// Little-endian UTF-16 of text, '~' standing for a NUL unit.
QByteArray utf16(QString text)
{
    QByteArray bytes;
    for (const QChar c : text.replace(u'~', QChar(0)))
        bytes += char(c.unicode() & 0xFF) + QByteArray(1, char(c.unicode() >> 8));
    return bytes;
}

QString shown(const std::u16string &text)
{
    return QString::fromStdU16String(text).replace(QChar(0), u'~');
}

QString shown(const std::vector<std::u16string> &list)
{
    QStringList texts;
    for (const std::u16string &text : list)
        texts << shown(text);
    return texts.join(u',');
}

} // namespace

// The discovery layer without a network: the bytes and texts it takes from the network and the
// device registries, and the list of available loggers they fill.
class DiscoveryTest : public QObject
{
    Q_OBJECT

private slots:
    // USB ticks and discovery answers over the life of one list: an entry stays (same pointer)
    // while its logger does, moves with its port, and USB entries go when unplugged.
    void deviceListFollowsTicksAndAnswers()
    {
        // The Linux rules beyond these two run against mock udev trees.
        QVERIFY(!UsbMatch::matchTtyDevice("04d8", "000b", "/dev/ttyACM1", "KX2"));
        QVERIFY(!UsbMatch::matchTtyDevice("04d8", "000a", "", "KX2"));
        AvailableDeviceList list;
        // "<open devices?>+<list changed?> <entries>" after each tick.
        const auto tick = [&list](const QList<UsbPortPair> &pairs) {
            const AvailableDeviceList::UsbCheckResult result = list.checkConnection(pairs);
            return QString(result.openDevices ? "open" : "") + (result.listChanged ? "+list" : "") +
                   ' ' + ids(list.all());
        };
        QCOMPARE(tick({}), " ");
        QVERIFY(!list.usbConnected() && !list.usbConnectedPrev());
        QCOMPARE(tick({{"COM7", "KX0001"}}), "open+list KX0001@COM7:23");
        AvailableDevice *first = list.all().first();
        QCOMPARE(first->kind, LINK_SERIAL);
        QVERIFY(list.usbConnected() && list.usbConnectedPrev());
        QCOMPARE(tick({{"COM7", "KX0001"}}), " KX0001@COM7:23");
        QCOMPARE(tick({{"COM7", "KX0001"}, {"COM8", "KX0002"}}),
                 "open+list KX0001@COM7:23 KX0002@COM8:23");
        QCOMPARE(tick({{"COM11", "KX0001"}, {"COM8", "KX0002"}}),
                 "open+list KX0001@COM11:23 KX0002@COM8:23");
        QCOMPARE(list.all().first(), first);
        QCOMPARE(tick({{"COM8", "KX0002"}}), "open+list KX0002@COM8:23");
        QCOMPARE(list.serialDevices(), list.all());
        QCOMPARE(tick({{"COM8", "KX0002"}}), " KX0002@COM8:23");

        list.mergeDiscoveryReply(DiscoveryReply{"10.0.0.5", "024B5800000A", 0, 23});
        AvailableDevice *network = list.all().last();
        list.mergeDiscoveryReply(DiscoveryReply{"10.0.0.77", "024B5800000A", 0, 2323});
        list.mergeDiscoveryReply(DiscoveryReply{"10.0.0.6", "024B58000002", 0, 23});
        QCOMPARE(network->kind, LINK_TCP);
        QCOMPARE(ids(list.all()),
                 "KX0002@COM8:23 024B5800000A@10.0.0.77:2323 024B58000002@10.0.0.6:23");
        QCOMPARE(AvailableDeviceList::findAvailableDevice(list.all(), "024B5800000A"), network);
        QVERIFY(!AvailableDeviceList::findAvailableDevice(list.all(), "024b5800000a"));

        const QString network2 = "024B5800000A@10.0.0.77:2323 024B58000002@10.0.0.6:23";
        QCOMPARE(tick({}), "+list " + network2);
        QVERIFY(list.serialDevices().isEmpty());
        QVERIFY(!list.usbConnected() && !list.usbConnectedPrev());
        QCOMPARE(tick({}), ' ' + network2);
        QCOMPARE(tick({{"COM9", "KX0001"}}), "open+list " + network2 + " KX0001@COM9:23");
        QCOMPARE(ids(list.serialDevices()), "KX0001@COM9:23");

        list.closeKestrelixDevices();
        QVERIFY(list.all().isEmpty() && list.serialDevices().isEmpty());
        QCOMPARE(tick({{"COM7", "KX0001"}}), "open+list KX0001@COM7:23");
    }

    // "ip mac dhcp port" of an answer taken, "" for one ignored (which leaves the reply untouched).
    void discoveryAnswers_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("parsed");
        const QByteArray valid = discoveryAnswer("KESTRELIX", "10.99.0.7", 0xAF, 2323, 1);
        QTest::newRow("fields") << valid << "10.99.0.7 024B580000AF 1 2323";
        QTest::newRow("only the low 16 port bits count")
            << discoveryAnswer("KESTRELIX", "10.99.0.7", 0xAF, 65559)
            << "10.99.0.7 024B580000AF 0 23";
        QTest::newRow("high address octets are unsigned")
            << discoveryAnswer("KESTRELIX", "192.168.254.255", 1, 23)
            << "192.168.254.255 024B58000001 0 23";
        QTest::newRow("keyword among other text")
            << discoveryAnswer("xKESTRELIX-2", "10.0.0.1", 2, 23) << "10.0.0.1 024B58000002 0 23";
        QTest::newRow("trailing bytes") << valid + "trailing"
                                        << "10.99.0.7 024B580000AF 1 2323";
        QTest::newRow("keyword after the first NUL")
            << discoveryAnswer(QByteArray("\0KESTRELIX", 10), "10.0.0.1", 2, 23) << "";
        QTest::newRow("lower-case keyword")
            << discoveryAnswer("kestrelix", "10.0.0.1", 2, 23) << "";
        QTest::newRow("the request itself") << discoveryRequest() << "";
        QTest::newRow("one byte short") << valid.left(27) << "";
        QTest::newRow("keyword alone") << QByteArray("KESTRELIX") << "";
    }

    void discoveryAnswers()
    {
        QFETCH(QByteArray, datagram);
        DiscoveryReply reply;
        reply.macAddress = "untouched";
        const bool taken = parseDiscoveryReply(datagram, &reply);
        const QString fields = reply.ipAddress + ' ' + reply.macAddress +
                               QString::asprintf(" %d %d", int(reply.useDhcp), int(reply.port));
        QTEST(taken ? fields : QString(), "parsed");
        if (!taken)
            QCOMPARE(reply.macAddress, QString("untouched"));
    }

    // "<kind> <value> / <read as text> / <read as list>", NULs shown as '~'.
    void registryValues_data()
    {
        QTest::addColumn<uint>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("value");
        using namespace RegistryData;
        const auto same = [](const char *kind, const QString &v) {
            return kind + (' ' + v + " / " + v + " / " + v);
        };
        const QByteArray port = utf16("USB Serial Port (COM12)~junk");
        const QString portText = "USB Serial Port (COM12)";
        QTest::newRow("sz stops at the first NUL") << uint(Sz) << port << same("text", portText);
        QTest::newRow("expand_sz too") << uint(ExpandSz) << port << same("text", portText);
        QTest::newRow("unterminated, odd byte")
            << uint(Sz) << utf16("KX1") + 'Z' << same("text", "KX1");
        QTest::newRow("none keeps NULs") << uint(None) << utf16("AB~C") << same("text", "AB~C");
        QTest::newRow("binary keeps NULs") << uint(Binary) << utf16("AB~C") << same("text", "AB~C");
        const QByteArray four("\x78\x56\x34\x12\xFF", 5);
        QTest::newRow("dword") << uint(Dword) << four << "number 12345678 / 305419896 / 305419896";
        QTest::newRow("dword big-endian as stored")
            << uint(DwordBigEndian) << four << "number 12345678 / 305419896 / 305419896";
        QTest::newRow("dword too short")
            << uint(Dword) << QByteArray("\1\2\3", 3) << "invalid  /  / ";
        QTest::newRow("multi_sz ends at the first empty string")
            << uint(MultiSz) << utf16("USB\\VID_04D8&PID_000A&REV_0100~USB\\VID_04D8~~ignored~~")
            << "list USB\\VID_04D8&PID_000A&REV_0100,USB\\VID_04D8 /  / "
               "USB\\VID_04D8&PID_000A&REV_0100,USB\\VID_04D8";
        QTest::newRow("multi_sz of one reads as text")
            << uint(MultiSz) << utf16("only~~") << same("list", "only");
        QTest::newRow("empty multi_sz") << uint(MultiSz) << QByteArray() << "list  /  / ";
        QTest::newRow("unknown type") << 11u << utf16("qword") << "invalid  /  / ";
    }

    void registryValues()
    {
        QFETCH(uint, type);
        QFETCH(QByteArray, bytes);
        const auto *data =
            bytes.isEmpty() ? nullptr : reinterpret_cast<const unsigned char *>(bytes.constData());
        const RegistryData::Value value = RegistryData::convert(type, data, size_t(bytes.size()));
        static const char *kinds[] = {"invalid", "text", "number", "list"};
        QString text = QString::fromLatin1(kinds[int(value.kind)]) + ' ';
        if (value.kind == RegistryData::Value::Kind::Number)
            text += QString::number(value.number, 16);
        else
            text += shown(value.text) + shown(value.list);
        QTEST(text + " / " + shown(RegistryData::toText(value)) + " / " +
                  shown(RegistryData::toTextList(value)),
              "value");
    }

    // "port serial" of the matched logger, or "" when the device is no logger with a port.
    void windowsDeviceIsALoggerByItsFirstHardwareIdAndAssignedPort_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("match");
        const char *logger = "USB\\VID_04D8&PID_000A&REV_0100";
        const struct
        {
            const char *row, *ids, *name, *location, *match;
        } rows[] = {
            {"serial port", logger, "USB Serial Port (COM12)", "QJ_SERIES__KX42", "COM12 KX42"},
            {"prefix at both ends", logger, "(COM6)", "QJ_SERIES__A1QJ_SERIES__", "COM6 A1"},
            {"lower-case prefix stays", logger, "(COM6)", "qj_series__A1", "COM6 qj_series__A1"},
            {"communications port", logger, "Communications Port (COM3)", "KX7", "COM3 KX7"},
            {"location without prefix", logger, "USB Serial Port (COM4)", "Port_#2",
             "COM4 Port_#2"},
            {"lower case", "usb\\vid_04d8&pid_000a&rev_0100", "usb serial port (com9)", "",
             "COM9 "},
            {"port ends at the parenthesis", logger, "Logger (COM21) rev 2", "X", "COM21 X"},
            {"no space before the port", logger, "Serial Port(COM100)", "X", "COM100 X"},
            {"other product", "USB\\VID_04D8&PID_000B", "USB Serial Port (COM5)", "X", ""},
            {"other vendor", "USB\\VID_0403&PID_000A", "USB Serial Port (COM5)", "X", ""},
            {"no port yet", logger, "USB Serial Port", "X", ""},
            {"unclosed port", logger, "USB Serial Port (COM5", "X", ""},
            {"no name", logger, "", "X", ""},
            {"logger id not first", "USB\\VID_1234&PID_5678|USB\\VID_04D8&PID_000A", "(COM6)", "X",
             ""},
            {"no hardware id", "", "USB Serial Port (COM6)", "X", ""},
            {"no USB id", "HID\\something", "USB Serial Port (COM6)", "X", ""},
        };
        for (const auto &r : rows)
            QTest::newRow(r.row) << QString(r.ids).split(u'|', Qt::SkipEmptyParts) << r.name
                                 << r.location << r.match;
    }

    void windowsDeviceIsALoggerByItsFirstHardwareIdAndAssignedPort()
    {
        QFETCH(QStringList, ids);
        QFETCH(QString, name);
        QFETCH(QString, location);
        const auto pair = UsbMatch::matchWindowsDevice(UsbDeviceProperties{ids, name, location});
        QTEST(pair ? pair->port + ' ' + pair->serial : QString(), "match");
    }
};

QTEST_GUILESS_MAIN(DiscoveryTest)
#include "tst_discovery.moc"

#include "device/configureddevice.h"
#include "project/projectfile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
QList<DeviceRecord> parsed(const QString &entries)
{
    QList<DeviceRecord> records;
    if (!ProjectFile::parseDeviceList(QStringLiteral("{\"devices\": [%1]}").arg(entries).toUtf8(),
                                      &records))
        records.append(DeviceRecord{});
    return records;
}

// Every member the project file keeps, on one line.
QString describe(const ConfiguredDevice *d)
{
    QString text;
    QDebug(&text).noquote().nospace()
        << d->deviceNumber() << '|' << d->linkType() << '|' << d->deviceName() << '|'
        << d->ch1Name() << '|' << d->ch2Name() << '|' << d->deviceInterface() << '|'
        << d->devicePort() << '|' << d->ch1Unit() << '|' << d->ch2Unit() << '|'
        << d->settings().ch1Min() << '|' << d->settings().ch1Max() << '|' << d->settings().ch2Min()
        << '|' << d->settings().ch2Max() << '|' << d->ch1Custom() << '|' << d->ch2Custom() << '|'
        << d->buzzerAlarm() << '|' << d->dashboardNumber() << '|'
        << (d->keepAlive() ? "keep-alive" : "no keep-alive");
    return text;
}

struct DeviceList
{
    QList<ConfiguredDevice *> devices;
    ~DeviceList() { qDeleteAll(devices); }
};
} // namespace

class TestProjectFile : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString &name = "Line1.tpc") const { return m_dir->filePath(name); }
    void writeDeviceList(const QByteArray &json)
    {
        QSettings(path(), QSettings::IniFormat).setValue("DeviceList", json);
    }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void createdProjectHoldsItsKeysInTheGeneralSectionAndReadsBackUpdates()
    {
        const QString dotted = path("Line1.old.tpc");
        QVERIFY(ProjectFile::create(dotted, ProjectFile::baseName(dotted), 10000));
        QCOMPARE(ProjectFile::databasePath(dotted), m_dir->path() + "/Line1.dat");

        QVERIFY(ProjectFile::create(path(), "Line1", 5000));
        QFile file(path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY(text.startsWith("[General]"));
        QCOMPARE(text.count('['), 1);
        for (const char *line :
             {"projectName=Line1\n", "DataInterval=5000\n", "databaseName=Line1.dat\n"})
            QVERIFY2(text.contains(line), line);
        ProjectInfo info;
        const QStringList names = {"Hall, north", "Cold room", "Dashboard 3", "Dashboard 4"};
        QVERIFY(ProjectFile::writeConfiguration(path(), 60000, names));
        QVERIFY(ProjectFile::writeValue(path(), "record_stop_time", "2026-01-02 03:04:05"));
        QVERIFY(ProjectFile::readInfo(path(), &info));
        QCOMPARE(info.dataInterval, 60000);
        QCOMPARE(info.dashboardNames, names);
        QCOMPARE(info.projectName, QStringLiteral("Line1"));
        QCOMPARE(info.databaseName, QStringLiteral("Line1.dat"));
        QCOMPARE(ProjectFile::readString(path(), "record_stop_time"),
                 QStringLiteral("2026-01-02 03:04:05"));
        QVERIFY(!ProjectFile::readInfo(path("absent.tpc"), &info));

        // Files from before the option sound the alarm on lost communication.
        QVERIFY(ProjectFile::communicationLossAlarm(path()));
        QVERIFY(ProjectFile::setCommunicationLossAlarm(path(), false));
        QVERIFY(!ProjectFile::communicationLossAlarm(path()));
    }

    void everyDeviceMemberSurvivesSaveAndLoadAndTheBackupHoldsTheListBefore()
    {
        DeviceList saved;
        auto *usb = new ConfiguredDevice("KX0001", LINK_SERIAL);
        saved.devices << usb << nullptr;
        usb->setConnection("Fridge", "Temp", "Humid", "COM3", 23);
        usb->setUnits(1, 4);
        usb->setAlarmRange(-20, 8.5f, 10, 90);
        usb->setCh1Custom("degC");
        usb->setCh2Custom("%rh \"wet\"");
        usb->setBuzzerAlarm("CH1");
        auto *tcp = new ConfiguredDevice("024B58000001", LINK_TCP);
        saved.devices << tcp;
        tcp->setConnection("Hall", "T", "H", "10.0.0.7", 4001);
        tcp->setUnits(2, 3);
        tcp->setAlarmRange(12.5678f, 30, 0, 0);
        tcp->setBuzzerAlarm("AND");
        tcp->setDashboardNumber(3);

        QVERIFY(ProjectFile::create(path(), "Line1", 10000));
        const QByteArray handWritten = "{ \"devices\" :\n\t[ ]\r\n}  ";
        writeDeviceList(handWritten);
        QVERIFY(ProjectFile::saveDevices(path(), saved.devices));
        QCOMPARE(QSettings(path(), QSettings::IniFormat).value("Backup").toByteArray(),
                 handWritten);

        const QByteArray json = ProjectFile::readDeviceList(path());
        const QJsonArray array = QJsonDocument::fromJson(json).object().value("devices").toArray();
        QCOMPARE(array.size(), 2);
        const QJsonObject first = array.at(0).toObject();
        QCOMPARE(first.size(), 17);
        for (auto it = first.begin(); it != first.end(); ++it)
            QCOMPARE(it.value().isString(), it.key() != QLatin1String("DashboardNumber"));
        QCOMPARE(first.value("DeviceType").toString(), QStringLiteral("SERIAL"));
        QCOMPARE(first.value("ch1_min").toString(), QStringLiteral("-20.00"));
        const QJsonObject second = array.at(1).toObject();
        QCOMPARE(second.value("DeviceType").toString(), QStringLiteral("TELNET"));
        QCOMPARE(second.value("ch1_min").toString(), QStringLiteral("12.57"));
        QCOMPARE(second.value("DashboardNumber").toInt(-1), 3);

        DeviceList loaded;
        QList<DeviceRecord> records;
        QVERIFY(ProjectFile::parseDeviceList(json, &records));
        ProjectFile::applyRecords(records, &loaded.devices, true);
        QCOMPARE(loaded.devices.size(), 2);
        // Keep-alive concerns network loggers only.
        QCOMPARE(describe(loaded.devices.at(0)),
                 QStringLiteral("KX0001|1|Fridge|Temp|Humid|COM3|23|1|4|-20|8.5|10|90|degC|"
                                "%rh \"wet\"|CH1|0|no keep-alive"));
        QCOMPARE(describe(loaded.devices.at(1)),
                 QStringLiteral("024B58000001|2|Hall|T|H|10.0.0.7|4001|2|3|12.57|30|0|0|||AND|3|"
                                "keep-alive"));

        loaded.devices.first()->setDeviceName("renamed");
        QVERIFY(ProjectFile::saveDevices(path(), loaded.devices));
        QCOMPARE(QSettings(path(), QSettings::IniFormat).value("Backup").toByteArray(), json);
    }

    void deviceListMustBeAJsonObject_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("not json") << QByteArray("devices: none") << false;
        QTest::newRow("array") << QByteArray("[{\"DeviceType\": \"SERIAL\"}]") << false;
        QTest::newRow("no devices array") << QByteArray("{}") << true;
        QTest::newRow("devices not an array") << QByteArray("{\"devices\": 7}") << true;
    }
    void deviceListMustBeAJsonObject()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, accepted);
        QVERIFY(ProjectFile::create(path(), "Line1", 10000));
        if (!json.isNull())
            writeDeviceList(json);
        QList<DeviceRecord> records;
        QCOMPARE(ProjectFile::parseDeviceList(ProjectFile::readDeviceList(path()), &records),
                 accepted);
        QVERIFY(records.isEmpty());
    }

    void unreadableMembersReadAsZeroOrEmpty_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("expected");
        const QList<QPair<const char *, const char *>> rows = {
            {"\"ch1_unit\": \"5\"", "0"},
            {"\"ch1_unit\": \"-1\"", "0"},
            {"\"ch1_unit\": \"4\"", "4"},
            {"\"ch1_unit\": 3", "0"},
            {"\"DashboardNumber\": \"2\"", "0"},
            {"\"DashboardNumber\": 2.5", "0"},
            {"\"DashboardNumber\": 1e12", "0"},
            {"\"DashboardNumber\": 2", "2"},
            {"\"DevicePort\": \"telnet\"", "0"},
            {"\"DevicePort\": \"70000\"", "0"},
            {"\"DevicePort\": \"4001\"", "4001"},
            {"\"ch1_min\": \"low\"", "0"},
            {"\"ch1_min\": \"-7\"", "-7"},
            {"\"DeviceNumber\": \"KX7\"", "KX7"},
            {"\"DeviceNumber\": 12345678", "12345678"},
            {"\"DeviceNumber\": null", ""},
            {"\"DeviceName\": \"x\"", ""}};
        for (const auto &row : rows)
            QTest::newRow(row.first) << QString(row.first) << QString(row.second);
    }
    void unreadableMembersReadAsZeroOrEmpty()
    {
        QFETCH(QString, member);
        QFETCH(QString, expected);
        if (member.contains("DeviceN") && !member.contains("KX7"))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("WARNING.*DeviceNumber"));
        const QList<DeviceRecord> records =
            parsed(QStringLiteral("{\"DeviceType\": \"TELNET\", %1}").arg(member));
        QCOMPARE(records.size(), 1);
        const DeviceRecord &r = records.first();
        QVERIFY(!r.deviceNumber.isNull());
        const QString read = member.contains("unit")        ? QString::number(r.ch1Unit)
                             : member.contains("Dashboard") ? QString::number(r.dashboardNumber)
                             : member.contains("Port")      ? QString::number(r.devicePort)
                             : member.contains("ch1_min")   ? QString::number(r.ch1Min)
                                                            : r.deviceNumber;
        QCOMPARE(read, expected);
    }

    // An entry without a type is skipped; a later entry of the same logger, or of one already
    // in the list, configures that device and keeps its link.
    void entriesAreAppliedToTheDeviceTheyName()
    {
        DeviceList devices;
        auto *existing = new ConfiguredDevice("KX1", LINK_TCP);
        devices.devices << existing;
        ProjectFile::applyRecords(
            parsed("{\"DeviceNumber\": \"A\"}, {\"DeviceNumber\": \"B\", \"DeviceType\": null},"
                   "{\"DeviceNumber\": \"D\", \"DeviceType\": 5},"
                   "{\"DeviceNumber\": \"KX3\", \"DeviceType\": \"SERIAL\", \"DeviceName\": "
                   "\"first\"},"
                   "{\"DeviceNumber\": \"KX1\", \"DeviceType\": \"SERIAL\", \"DeviceInterface\": "
                   "\"10.0.0.9\", \"buzzerAlarm\": \"OR\"},"
                   "{\"DeviceNumber\": \"KX3\", \"DeviceType\": \"TELNET\", \"DeviceName\": "
                   "\"second\", \"DashboardNumber\": 2}"),
            &devices.devices, false);
        QCOMPARE(devices.devices.size(), 3);
        QCOMPARE(existing->linkType(), LINK_TCP);
        QCOMPARE(existing->deviceInterface(), QStringLiteral("10.0.0.9"));
        QCOMPARE(existing->buzzerAlarm(), QStringLiteral("OR"));
        QCOMPARE(devices.devices.at(1)->deviceNumber(), QStringLiteral("D"));
        QCOMPARE(devices.devices.at(1)->linkType(), LINK_TCP);
        QCOMPARE(devices.devices.at(2)->deviceName(), QStringLiteral("second"));
        QCOMPARE(devices.devices.at(2)->dashboardNumber(), 2);
        QCOMPARE(devices.devices.at(2)->linkType(), LINK_SERIAL);
    }

    void unwritableProjectFileIsReportedAndALongFolderIsCutInTheLabel()
    {
        QVERIFY(QDir(m_dir->path()).mkdir("folder.tpc"));
        QFile plain(path("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        for (const QString &file : {path("folder.tpc"), path("plain/Line1.tpc")}) {
            QVERIFY2(!ProjectFile::create(file, "Line1", 10000), qPrintable(file));
            QVERIFY(!ProjectFile::saveDevices(file, {}));
            QVERIFY(!ProjectFile::writeConfiguration(file, 1000, {}));
            QVERIFY(!ProjectFile::writeValue(file, "record_start_time", "x"));
        }
        const QString folder40 = "/" + QString(39, 'a');
        QCOMPARE(ProjectFile::projectLabel(folder40 + "/x.tpc", "P"), folder40 + "/P.tpc");
        QCOMPARE(ProjectFile::projectLabel(folder40 + "b/x.tpc", "P"), folder40 + ".../P.tpc");
    }
};

QTEST_MAIN(TestProjectFile)
#include "tst_projectfile.moc"

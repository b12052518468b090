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

QByteArray devicesJson(const QString &entries)
{
    return QStringLiteral("{\"devices\": [%1]}").arg(entries).toUtf8();
}

QList<DeviceRecord> parsed(const QByteArray &json)
{
    QList<DeviceRecord> records;
    if (!ProjectFile::parseDeviceList(json, &records)) {
        records.append(DeviceRecord());
        records.last().deviceName = "<rejected>";
    }
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

// Owns the devices a test creates or applyRecords appends.
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
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void projectNamedWithSeveralDotsRecordsIntoItsBaseNameDat()
    {
        const QString file = path("Line1.old.tpc");
        QCOMPARE(ProjectFile::baseName(file), QStringLiteral("Line1"));
        QVERIFY(ProjectFile::create(file, ProjectFile::baseName(file), 10000));
        QCOMPARE(ProjectFile::databasePath(file), m_dir->path() + "/Line1.dat");
    }

    void createdProjectHoldsItsKeysInTheGeneralSectionAndReadsBackUpdates()
    {
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
        QVERIFY(ProjectFile::readInfo(path(), &info));
        QCOMPARE(info.projectName, QStringLiteral("Line1"));
        QCOMPARE(info.dataInterval, 5000);
        QCOMPARE(info.databaseName, QStringLiteral("Line1.dat"));
        QVERIFY(info.dashboardNames.isEmpty());

        const QStringList names = {"Hall, north", "Cold room", "Dashboard 3", "Dashboard 4"};
        QVERIFY(ProjectFile::writeConfiguration(path(), 60000, names));
        QVERIFY(ProjectFile::writeValue(path(), "record_stop_time", "2026-01-02 03:04:05"));
        QVERIFY(ProjectFile::readInfo(path(), &info));
        QCOMPARE(info.dataInterval, 60000);
        QCOMPARE(info.dashboardNames, names);
        QCOMPARE(info.projectName, QStringLiteral("Line1"));
        QCOMPARE(ProjectFile::readString(path(), "record_stop_time"),
                 QStringLiteral("2026-01-02 03:04:05"));
        QVERIFY(ProjectFile::readString(path(), "record_start_time").isEmpty());
        QVERIFY(!ProjectFile::readInfo(path("absent.tpc"), &info));

        // Files from before the option sound the alarm on lost communication.
        QVERIFY(ProjectFile::communicationLossAlarm(path()));
        QVERIFY(ProjectFile::setCommunicationLossAlarm(path(), false));
        QVERIFY(!ProjectFile::communicationLossAlarm(path()));
        QVERIFY(ProjectFile::setCommunicationLossAlarm(path(), true));
        QVERIFY(ProjectFile::communicationLossAlarm(path()));
    }

    void dataIntervalIsReportedAsStored_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("interval");
        QTest::newRow("missing") << QString() << 0;
        QTest::newRow("not a number") << "DataInterval=fast" << 0;
        QTest::newRow("zero") << "DataInterval=0" << 0;
        QTest::newRow("negative") << "DataInterval=-5" << -5;
        QTest::newRow("unlisted") << "DataInterval=2500" << 2500;
    }
    void dataIntervalIsReportedAsStored()
    {
        QFETCH(QString, line);
        QFETCH(int, interval);
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[General]\nprojectName=Line1\n%1\n").arg(line).toUtf8());
        file.close();
        ProjectInfo info;
        QVERIFY(ProjectFile::readInfo(path(), &info));
        QCOMPARE(info.dataInterval, interval);
    }

    void everyDeviceMemberSurvivesSaveAndLoad()
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
        QVERIFY(ProjectFile::saveDevices(path(), saved.devices));

        const QByteArray json = ProjectFile::readDeviceList(path());
        const QJsonArray array = QJsonDocument::fromJson(json).object().value("devices").toArray();
        QCOMPARE(array.size(), 2);
        const QJsonObject first = array.at(0).toObject();
        QCOMPARE(first.size(), 17);
        for (auto it = first.begin(); it != first.end(); ++it)
            QCOMPARE(it.value().isString(), it.key() != QLatin1String("DashboardNumber"));
        QCOMPARE(first.value("DeviceType").toString(), QStringLiteral("SERIAL"));
        QCOMPARE(first.value("ch1_min").toString(), QStringLiteral("-20.00"));
        QCOMPARE(first.value("DevicePort").toString(), QStringLiteral("23"));
        const QJsonObject second = array.at(1).toObject();
        QCOMPARE(second.value("DeviceType").toString(), QStringLiteral("TELNET"));
        QCOMPARE(second.value("ch1_min").toString(), QStringLiteral("12.57"));
        QCOMPARE(second.value("DashboardNumber").toInt(-1), 3);

        DeviceList loaded;
        ProjectFile::applyRecords(parsed(json), &loaded.devices, true);
        QCOMPARE(loaded.devices.size(), 2);
        // Keep-alive concerns network loggers only.
        QCOMPARE(describe(loaded.devices.at(0)),
                 QStringLiteral("KX0001|1|Fridge|Temp|Humid|COM3|23|1|4|-20|8.5|10|90|degC|"
                                "%rh \"wet\"|CH1|0|no keep-alive"));
        QCOMPARE(describe(loaded.devices.at(1)),
                 QStringLiteral("024B58000001|2|Hall|T|H|10.0.0.7|4001|2|3|12.57|30|0|0|||AND|3|"
                                "keep-alive"));
    }

    void backupHoldsThePreviousDeviceListByteForByte()
    {
        QVERIFY(ProjectFile::create(path(), "Line1", 10000));
        QVERIFY(ProjectFile::saveDevices(path(), {}));
        QSettings settings(path(), QSettings::IniFormat);
        QVERIFY(settings.contains("Backup"));
        QVERIFY(settings.value("Backup").toByteArray().isEmpty());
        QCOMPARE(parsed(ProjectFile::readDeviceList(path())).size(), 0);

        const QByteArray handWritten = "{ \"devices\" :\n\t[ ]\r\n}  ";
        writeDeviceList(handWritten);
        DeviceList devices;
        devices.devices << new ConfiguredDevice("KX0001", LINK_SERIAL);
        QVERIFY(ProjectFile::saveDevices(path(), devices.devices));
        const QByteArray firstSave = ProjectFile::readDeviceList(path());
        settings.sync();
        QCOMPARE(settings.value("Backup").toByteArray(), handWritten);

        devices.devices.first()->setDeviceName("renamed");
        QVERIFY(ProjectFile::saveDevices(path(), devices.devices));
        settings.sync();
        QCOMPARE(settings.value("Backup").toByteArray(), firstSave);
        QVERIFY(ProjectFile::readDeviceList(path()) != firstSave);
    }

    void deviceListMustBeAJsonObject_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("empty") << QByteArray("") << false;
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

    void entriesWithoutDeviceTypeAreSkipped()
    {
        const QList<DeviceRecord> records =
            parsed(devicesJson("{\"DeviceNumber\": \"A\"},"
                               "{\"DeviceNumber\": \"B\", \"DeviceType\": null},"
                               "{\"DeviceNumber\": \"C\", \"DeviceType\": \"SERIAL\"},"
                               "{\"DeviceNumber\": \"D\", \"DeviceType\": 5}"));
        QCOMPARE(records.size(), 2);
        QCOMPARE(records.at(0).deviceNumber, QStringLiteral("C"));
        QCOMPARE(records.at(1).deviceNumber, QStringLiteral("D"));
        QCOMPARE(records.at(1).deviceType, QString());

        DeviceList devices;
        ProjectFile::applyRecords(records, &devices.devices, false);
        QCOMPARE(devices.devices.at(0)->linkType(), LINK_SERIAL);
        QCOMPARE(devices.devices.at(1)->linkType(), LINK_TCP);
    }

    void unreadableNumbersReadAsZero_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<int>("expected");
        QTest::newRow("unit 5") << "\"ch1_unit\": \"5\"" << 0;
        QTest::newRow("unit -1") << "\"ch1_unit\": \"-1\"" << 0;
        QTest::newRow("unit 4") << "\"ch1_unit\": \"4\"" << 4;
        QTest::newRow("unit as number") << "\"ch1_unit\": 3" << 0;
        QTest::newRow("dashboard text") << "\"DashboardNumber\": \"2\"" << 0;
        QTest::newRow("dashboard fraction") << "\"DashboardNumber\": 2.5" << 0;
        QTest::newRow("dashboard huge") << "\"DashboardNumber\": 1e12" << 0;
        QTest::newRow("dashboard 2") << "\"DashboardNumber\": 2" << 2;
        QTest::newRow("port text") << "\"DevicePort\": \"telnet\"" << 0;
        QTest::newRow("port too large") << "\"DevicePort\": \"70000\"" << 0;
        QTest::newRow("port") << "\"DevicePort\": \"4001\"" << 4001;
        QTest::newRow("limit text") << "\"ch1_min\": \"low\"" << 0;
        QTest::newRow("limit") << "\"ch1_min\": \"-7\"" << -7;
    }
    void unreadableNumbersReadAsZero()
    {
        QFETCH(QString, member);
        QFETCH(int, expected);
        const QList<DeviceRecord> records =
            parsed(devicesJson(QStringLiteral("{\"DeviceType\": \"TELNET\", %1}").arg(member)));
        QCOMPARE(records.size(), 1);
        const DeviceRecord &r = records.first();
        const int read = member.contains("unit")        ? r.ch1Unit
                         : member.contains("Dashboard") ? r.dashboardNumber
                         : member.contains("Port")      ? int(r.devicePort)
                                                        : int(r.ch1Min);
        QCOMPARE(read, expected);
    }

    void deviceNumberAlwaysReadsAsText_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("expected");
        QTest::newRow("text") << ", \"DeviceNumber\": \"KX7\""
                              << "KX7";
        QTest::newRow("number") << ", \"DeviceNumber\": 12345678"
                                << "12345678";
        QTest::newRow("null") << ", \"DeviceNumber\": null"
                              << "";
        QTest::newRow("missing") << ""
                                 << "";
    }
    void deviceNumberAlwaysReadsAsText()
    {
        QFETCH(QString, member);
        QFETCH(QString, expected);
        if (expected != "KX7")
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("WARNING.*DeviceNumber"));
        const QList<DeviceRecord> records =
            parsed(devicesJson(QStringLiteral("{\"DeviceType\": \"TELNET\"%1}").arg(member)));
        QCOMPARE(records.size(), 1);
        QVERIFY(!records.first().deviceNumber.isNull());
        QCOMPARE(records.first().deviceNumber, expected);
    }

    void laterEntryForTheSameLoggerConfiguresTheOneDevice()
    {
        DeviceList devices;
        ProjectFile::applyRecords(
            parsed(devicesJson("{\"DeviceNumber\": \"KX1\", \"DeviceType\": \"SERIAL\", "
                               "\"DeviceName\": \"first\", \"DashboardNumber\": 1},"
                               "{\"DeviceNumber\": \"KX1\", \"DeviceType\": \"TELNET\", "
                               "\"DeviceName\": \"second\", \"DashboardNumber\": 2}")),
            &devices.devices, false);
        QCOMPARE(devices.devices.size(), 1);
        QCOMPARE(devices.devices.first()->deviceName(), QStringLiteral("second"));
        QCOMPARE(devices.devices.first()->dashboardNumber(), 2);
        QCOMPARE(devices.devices.first()->linkType(), LINK_SERIAL);
    }

    void loadedEntryUpdatesTheDeviceAlreadyInTheList()
    {
        DeviceList devices;
        auto *existing = new ConfiguredDevice("KX1", LINK_TCP);
        auto *other = new ConfiguredDevice("KX2", LINK_SERIAL);
        devices.devices << existing << other;
        ProjectFile::applyRecords(
            parsed(devicesJson("{\"DeviceNumber\": \"KX3\", \"DeviceType\": \"SERIAL\"},"
                               "{\"DeviceNumber\": \"KX1\", \"DeviceType\": \"SERIAL\", "
                               "\"DeviceInterface\": \"10.0.0.9\", \"buzzerAlarm\": \"OR\"}")),
            &devices.devices, false);
        QCOMPARE(devices.devices.size(), 3);
        QCOMPARE(devices.devices.mid(0, 2), (QList<ConfiguredDevice *>{existing, other}));
        QCOMPARE(devices.devices.at(2)->deviceNumber(), QStringLiteral("KX3"));
        QCOMPARE(existing->linkType(), LINK_TCP);
        QCOMPARE(existing->deviceInterface(), QStringLiteral("10.0.0.9"));
        QCOMPARE(existing->buzzerAlarm(), QStringLiteral("OR"));
    }

    void unwritableProjectFileIsReported()
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
    }

    void projectLabelCutsALongFolder()
    {
        QCOMPARE(ProjectFile::projectLabel("/data/Line1.tpc", "Stored"),
                 QStringLiteral("/data/Stored.tpc"));
        const QString folder40 = "/" + QString(39, 'a');
        QCOMPARE(ProjectFile::projectLabel(folder40 + "/x.tpc", "P"), folder40 + "/P.tpc");
        QCOMPARE(ProjectFile::projectLabel(folder40 + "b/x.tpc", "P"), folder40 + ".../P.tpc");
    }
};

QTEST_MAIN(TestProjectFile)
#include "tst_projectfile.moc"

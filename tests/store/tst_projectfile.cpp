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

QString fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
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
    QString path(const QString &name = QStringLiteral("Line1.tpc")) const
    {
        return m_dir->filePath(name);
    }
    void writeDeviceList(const QString &file, const QByteArray &json)
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.setValue(QStringLiteral("DeviceList"), json);
    }

    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void projectNamedWithSeveralDotsRecordsIntoItsBaseNameDat()
    {
        const QString file = path(QStringLiteral("Line1.old.tpc"));
        QCOMPARE(ProjectFile::baseName(file), QStringLiteral("Line1"));
        QVERIFY(ProjectFile::create(file, ProjectFile::baseName(file), 10000));
        QCOMPARE(ProjectFile::databasePath(file), m_dir->path() + QStringLiteral("/Line1.dat"));
    }

    void createdProjectHoldsItsKeysInTheGeneralSection()
    {
        QVERIFY(ProjectFile::create(path(), QStringLiteral("Line1"), 5000));
        const QString text = fileText(path());
        QVERIFY(text.startsWith(QStringLiteral("[General]")));
        QCOMPARE(text.count(QLatin1Char('[')), 1);
        QVERIFY(text.contains(QStringLiteral("projectName=Line1\n")));
        QVERIFY(text.contains(QStringLiteral("DataInterval=5000\n")));
        QVERIFY(text.contains(QStringLiteral("databaseName=Line1.dat\n")));

        ProjectInfo info;
        QVERIFY(ProjectFile::readInfo(path(), &info));
        QCOMPARE(info.projectName, QStringLiteral("Line1"));
        QCOMPARE(info.dataInterval, 5000);
        QCOMPARE(info.databaseName, QStringLiteral("Line1.dat"));
        QVERIFY(info.dashboardNames.isEmpty());
    }

    void configurationAndRecordTimesReadBackAsWritten()
    {
        QVERIFY(ProjectFile::create(path(), QStringLiteral("Line1"), 10000));
        const QStringList names = {QStringLiteral("Hall, north"), QStringLiteral("Cold room"),
                                   QStringLiteral("Dashboard 3"), QStringLiteral("Dashboard 4")};
        QVERIFY(ProjectFile::writeConfiguration(path(), 60000, names));
        QVERIFY(ProjectFile::writeValue(path(), QStringLiteral("record_stop_time"),
                                        QStringLiteral("2026-01-02 03:04:05")));
        ProjectInfo info;
        QVERIFY(ProjectFile::readInfo(path(), &info));
        QCOMPARE(info.dataInterval, 60000);
        QCOMPARE(info.dashboardNames, names);
        QCOMPARE(info.projectName, QStringLiteral("Line1"));
        QCOMPARE(ProjectFile::readString(path(), QStringLiteral("record_stop_time")),
                 QStringLiteral("2026-01-02 03:04:05"));
        QVERIFY(ProjectFile::readString(path(), QStringLiteral("record_start_time")).isEmpty());
    }

    void dataIntervalIsReportedAsStored_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("interval");
        QTest::newRow("missing") << QString() << 0;
        QTest::newRow("not a number") << QStringLiteral("DataInterval=fast") << 0;
        QTest::newRow("zero") << QStringLiteral("DataInterval=0") << 0;
        QTest::newRow("negative") << QStringLiteral("DataInterval=-5") << -5;
        QTest::newRow("unlisted") << QStringLiteral("DataInterval=2500") << 2500;
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

    void missingProjectFileCannotBeRead()
    {
        ProjectInfo info;
        QVERIFY(!ProjectFile::readInfo(path(QStringLiteral("absent.tpc")), &info));
    }

    void everyDeviceMemberSurvivesSaveAndLoad()
    {
        DeviceList saved;
        auto *usb = new ConfiguredDevice(QStringLiteral("KX0001"), LINK_SERIAL);
        saved.devices << usb << nullptr;
        usb->setConnection(QStringLiteral("Fridge"), QStringLiteral("Temp"),
                           QStringLiteral("Humid"), QStringLiteral("COM3"), 23);
        usb->setUnits(1, 4);
        usb->setAlarmRange(-20, 8.5f, 10, 90);
        usb->m_strCh1Custom = QStringLiteral("degC");
        usb->m_strCh2Custom = QStringLiteral("%rh \"wet\"");
        usb->setBuzzerAlarm(QStringLiteral("CH1"));
        usb->m_nDashboardNumber = 0;
        auto *tcp = new ConfiguredDevice(QStringLiteral("024B58000001"), LINK_TCP);
        saved.devices << tcp;
        tcp->setConnection(QStringLiteral("Hall"), QStringLiteral("T"), QStringLiteral("H"),
                           QStringLiteral("10.0.0.7"), 4001);
        tcp->setUnits(2, 3);
        tcp->setAlarmRange(12.5678f, 30, 0, 0);
        tcp->setBuzzerAlarm(QStringLiteral("AND"));
        tcp->m_nDashboardNumber = 3;

        QVERIFY(ProjectFile::create(path(), QStringLiteral("Line1"), 10000));
        QVERIFY(ProjectFile::saveDevices(path(), saved.devices));

        const QByteArray json = ProjectFile::readDeviceList(path());
        const QJsonArray array = QJsonDocument::fromJson(json).object().value("devices").toArray();
        QCOMPARE(array.size(), 2);
        const QJsonObject first = array.at(0).toObject();
        QCOMPARE(first.size(), 17);
        for (auto it = first.begin(); it != first.end(); ++it) {
            QCOMPARE(it.value().isString(), it.key() != QLatin1String("DashboardNumber"));
        }
        QCOMPARE(first.value("DeviceType").toString(), QStringLiteral("SERIAL"));
        QCOMPARE(first.value("ch1_min").toString(), QStringLiteral("-20.00"));
        QCOMPARE(first.value("DevicePort").toString(), QStringLiteral("23"));
        const QJsonObject second = array.at(1).toObject();
        QCOMPARE(second.value("DeviceType").toString(), QStringLiteral("TELNET"));
        QCOMPARE(second.value("ch1_min").toString(), QStringLiteral("12.57"));
        QCOMPARE(second.value("DashboardNumber").toInt(-1), 3);

        QList<DeviceRecord> records;
        QVERIFY(ProjectFile::parseDeviceList(json, &records));
        DeviceList loaded;
        ProjectFile::applyRecords(records, &loaded.devices, true);
        QCOMPARE(loaded.devices.size(), 2);
        const ConfiguredDevice *a = loaded.devices.at(0);
        QCOMPARE(a->m_strDeviceNumber, QStringLiteral("KX0001"));
        QCOMPARE(a->m_nLinkType, LINK_SERIAL);
        QCOMPARE(a->m_strDeviceName, QStringLiteral("Fridge"));
        QCOMPARE(a->m_strCh1Name, QStringLiteral("Temp"));
        QCOMPARE(a->m_strCh2Name, QStringLiteral("Humid"));
        QCOMPARE(a->m_strDeviceInterface, QStringLiteral("COM3"));
        QCOMPARE(a->m_nDevicePort, quint16(23));
        QCOMPARE(a->m_nCh1Unit, 1);
        QCOMPARE(a->m_nCh2Unit, 4);
        QCOMPARE(a->m_fCh1Min, -20.0f);
        QCOMPARE(a->m_fCh1Max, 8.5f);
        QCOMPARE(a->m_fCh2Min, 10.0f);
        QCOMPARE(a->m_fCh2Max, 90.0f);
        QCOMPARE(a->m_strCh1Custom, QStringLiteral("degC"));
        QCOMPARE(a->m_strCh2Custom, QStringLiteral("%rh \"wet\""));
        QCOMPARE(a->m_strBuzzerAlarm, QStringLiteral("CH1"));
        QCOMPARE(a->m_nDashboardNumber, 0);
        QVERIFY(!a->m_bKeepAlive); // keep-alive concerns network loggers only
        const ConfiguredDevice *b = loaded.devices.at(1);
        QCOMPARE(b->m_strDeviceNumber, QStringLiteral("024B58000001"));
        QCOMPARE(b->m_nLinkType, LINK_TCP);
        QCOMPARE(b->m_strDeviceInterface, QStringLiteral("10.0.0.7"));
        QCOMPARE(b->m_nDevicePort, quint16(4001));
        QCOMPARE(b->m_nCh1Unit, 2);
        QCOMPARE(b->m_nCh2Unit, 3);
        QCOMPARE(b->m_fCh1Min, 12.57f);
        QCOMPARE(b->m_fCh1Max, 30.0f);
        QCOMPARE(b->m_strBuzzerAlarm, QStringLiteral("AND"));
        QCOMPARE(b->m_nDashboardNumber, 3);
        QVERIFY(b->m_bKeepAlive);
    }

    void backupHoldsThePreviousDeviceListByteForByte()
    {
        QVERIFY(ProjectFile::create(path(), QStringLiteral("Line1"), 10000));
        const QByteArray handWritten = "{ \"devices\" :\n\t[ ]\r\n}  ";
        writeDeviceList(path(), handWritten);

        DeviceList devices;
        devices.devices << new ConfiguredDevice(QStringLiteral("KX0001"), LINK_SERIAL);
        QVERIFY(ProjectFile::saveDevices(path(), devices.devices));
        const QByteArray firstSave = ProjectFile::readDeviceList(path());
        QSettings settings(path(), QSettings::IniFormat);
        QCOMPARE(settings.value("Backup").toByteArray(), handWritten);

        devices.devices.first()->m_strDeviceName = QStringLiteral("renamed");
        QVERIFY(ProjectFile::saveDevices(path(), devices.devices));
        settings.sync();
        QCOMPARE(settings.value("Backup").toByteArray(), firstSave);
        QVERIFY(ProjectFile::readDeviceList(path()) != firstSave);
    }

    void firstSaveLeavesAnEmptyBackup()
    {
        QVERIFY(ProjectFile::create(path(), QStringLiteral("Line1"), 10000));
        QVERIFY(ProjectFile::saveDevices(path(), {}));
        QSettings settings(path(), QSettings::IniFormat);
        QVERIFY(settings.contains("Backup"));
        QVERIFY(settings.value("Backup").toByteArray().isEmpty());
        QList<DeviceRecord> records;
        QVERIFY(ProjectFile::parseDeviceList(ProjectFile::readDeviceList(path()), &records));
        QVERIFY(records.isEmpty());
    }

    void deviceListThatIsNoJsonObjectIsRejected_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("write");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("empty") << QByteArray("") << true;
        QTest::newRow("not json") << QByteArray("devices: none") << true;
        QTest::newRow("array") << QByteArray("[{\"DeviceType\": \"SERIAL\"}]") << true;
    }
    void deviceListThatIsNoJsonObjectIsRejected()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, write);
        QVERIFY(ProjectFile::create(path(), QStringLiteral("Line1"), 10000));
        if (write) {
            writeDeviceList(path(), json);
        }
        QList<DeviceRecord> records;
        QVERIFY(!ProjectFile::parseDeviceList(ProjectFile::readDeviceList(path()), &records));
    }

    void objectWithoutDevicesArrayHasNoDevices()
    {
        QList<DeviceRecord> records;
        QVERIFY(ProjectFile::parseDeviceList("{}", &records));
        QVERIFY(records.isEmpty());
        QVERIFY(ProjectFile::parseDeviceList("{\"devices\": 7}", &records));
        QVERIFY(records.isEmpty());
    }

    void entriesWithoutDeviceTypeAreSkipped()
    {
        QList<DeviceRecord> records;
        QVERIFY(ProjectFile::parseDeviceList(
            devicesJson("{\"DeviceNumber\": \"A\"},"
                        "{\"DeviceNumber\": \"B\", \"DeviceType\": null},"
                        "{\"DeviceNumber\": \"C\", \"DeviceType\": \"SERIAL\"},"
                        "{\"DeviceNumber\": \"D\", \"DeviceType\": 5}"),
            &records));
        QCOMPARE(records.size(), 2);
        QCOMPARE(records.at(0).deviceNumber, QStringLiteral("C"));
        QCOMPARE(records.at(1).deviceNumber, QStringLiteral("D"));
        QCOMPARE(records.at(1).deviceType, QString());

        DeviceList devices;
        ProjectFile::applyRecords(records, &devices.devices, false);
        QCOMPARE(devices.devices.at(0)->m_nLinkType, LINK_SERIAL);
        QCOMPARE(devices.devices.at(1)->m_nLinkType, LINK_TCP);
    }

    void unreadableNumbersReadAsZero_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<int>("expected");
        QTest::newRow("unit 5") << QStringLiteral("\"ch1_unit\": \"5\"") << 0;
        QTest::newRow("unit -1") << QStringLiteral("\"ch1_unit\": \"-1\"") << 0;
        QTest::newRow("unit 4") << QStringLiteral("\"ch1_unit\": \"4\"") << 4;
        QTest::newRow("unit as number") << QStringLiteral("\"ch1_unit\": 3") << 0;
        QTest::newRow("dashboard text") << QStringLiteral("\"DashboardNumber\": \"2\"") << 0;
        QTest::newRow("dashboard fraction") << QStringLiteral("\"DashboardNumber\": 2.5") << 0;
        QTest::newRow("dashboard huge") << QStringLiteral("\"DashboardNumber\": 1e12") << 0;
        QTest::newRow("dashboard 2") << QStringLiteral("\"DashboardNumber\": 2") << 2;
        QTest::newRow("port text") << QStringLiteral("\"DevicePort\": \"telnet\"") << 0;
        QTest::newRow("port too large") << QStringLiteral("\"DevicePort\": \"70000\"") << 0;
        QTest::newRow("port") << QStringLiteral("\"DevicePort\": \"4001\"") << 4001;
        QTest::newRow("limit text") << QStringLiteral("\"ch1_min\": \"low\"") << 0;
        QTest::newRow("limit") << QStringLiteral("\"ch1_min\": \"-7\"") << -7;
    }
    void unreadableNumbersReadAsZero()
    {
        QFETCH(QString, member);
        QFETCH(int, expected);
        QList<DeviceRecord> records;
        QVERIFY(ProjectFile::parseDeviceList(
            devicesJson(QStringLiteral("{\"DeviceType\": \"TELNET\", %1}").arg(member)), &records));
        QCOMPARE(records.size(), 1);
        const DeviceRecord &r = records.first();
        const int read = member.contains("unit")        ? r.ch1Unit
                         : member.contains("Dashboard") ? r.dashboardNumber
                         : member.contains("Port")      ? int(r.devicePort)
                                                        : int(r.ch1Min);
        QCOMPARE(read, expected);
    }

    void laterEntryForTheSameLoggerConfiguresTheOneDevice()
    {
        QList<DeviceRecord> records;
        QVERIFY(ProjectFile::parseDeviceList(
            devicesJson("{\"DeviceNumber\": \"KX1\", \"DeviceType\": \"SERIAL\", "
                        "\"DeviceName\": \"first\", \"DashboardNumber\": 1},"
                        "{\"DeviceNumber\": \"KX1\", \"DeviceType\": \"TELNET\", "
                        "\"DeviceName\": \"second\", \"DashboardNumber\": 2}"),
            &records));
        DeviceList devices;
        ProjectFile::applyRecords(records, &devices.devices, false);
        QCOMPARE(devices.devices.size(), 1);
        QCOMPARE(devices.devices.first()->m_strDeviceName, QStringLiteral("second"));
        QCOMPARE(devices.devices.first()->m_nDashboardNumber, 2);
        QCOMPARE(devices.devices.first()->m_nLinkType, LINK_SERIAL);
    }

    void loadedEntryUpdatesTheDeviceAlreadyInTheList()
    {
        DeviceList devices;
        auto *existing = new ConfiguredDevice(QStringLiteral("KX1"), LINK_TCP);
        auto *other = new ConfiguredDevice(QStringLiteral("KX2"), LINK_SERIAL);
        devices.devices << existing << other;
        QList<DeviceRecord> records;
        QVERIFY(ProjectFile::parseDeviceList(
            devicesJson("{\"DeviceNumber\": \"KX3\", \"DeviceType\": \"SERIAL\"},"
                        "{\"DeviceNumber\": \"KX1\", \"DeviceType\": \"SERIAL\", "
                        "\"DeviceInterface\": \"10.0.0.9\", \"buzzerAlarm\": \"OR\"}"),
            &records));
        ProjectFile::applyRecords(records, &devices.devices, false);
        QCOMPARE(devices.devices.size(), 3);
        QCOMPARE(devices.devices.at(0), existing);
        QCOMPARE(devices.devices.at(1), other);
        QCOMPARE(devices.devices.at(2)->m_strDeviceNumber, QStringLiteral("KX3"));
        QCOMPARE(existing->m_nLinkType, LINK_TCP);
        QCOMPARE(existing->m_strDeviceInterface, QStringLiteral("10.0.0.9"));
        QCOMPARE(existing->m_strBuzzerAlarm, QStringLiteral("OR"));
    }

    void unwritableProjectFileIsReported()
    {
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder.tpc")));
        QFile plain(path(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const QStringList unwritable = {path(QStringLiteral("folder.tpc")),
                                        path(QStringLiteral("plain/Line1.tpc"))};
        for (const QString &file : unwritable) {
            QVERIFY2(!ProjectFile::create(file, QStringLiteral("Line1"), 10000), qPrintable(file));
            QVERIFY(!ProjectFile::saveDevices(file, {}));
            QVERIFY(!ProjectFile::writeConfiguration(file, 1000, {}));
            QVERIFY(!ProjectFile::writeValue(file, QStringLiteral("record_start_time"),
                                             QStringLiteral("x")));
        }
    }

    void projectLabelCutsALongFolder()
    {
        QCOMPARE(
            ProjectFile::projectLabel(QStringLiteral("/data/Line1.tpc"), QStringLiteral("Stored")),
            QStringLiteral("/data/Stored.tpc"));
        const QString folder40 = QStringLiteral("/") + QString(39, QLatin1Char('a'));
        QCOMPARE(ProjectFile::projectLabel(folder40 + QStringLiteral("/x.tpc"), "P"),
                 folder40 + QStringLiteral("/P.tpc"));
        QCOMPARE(ProjectFile::projectLabel(folder40 + QStringLiteral("b/x.tpc"), "P"),
                 folder40 + QStringLiteral(".../P.tpc"));
    }
};

QTEST_MAIN(TestProjectFile)
#include "tst_projectfile.moc"

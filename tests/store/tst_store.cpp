// The measurement store and the project file: what the sibling programs read.
#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "project/projectfile.h"
#include "store/eventcsvwriter.h"
#include "store/insertserialdata.h"
#include "store/pendingeventqueue.h"
#include "store/pendingrowqueue.h"
#include "tests/support/sqlprobe.h"

#include <QBuffer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {
const char *const SCHEMA = "create table kestrelix (id integer primary key autoincrement, "
                           "serialno varchar(18) not null, channel1 float, channel2 float, "
                           "pointDate integer not null)";
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

class TestStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    PendingRowQueue m_rows{PendingRowQueue::DEFAULT_LIMIT};
    PendingEventQueue m_events;

    QString dbPath() const { return m_dir->filePath("Line1.dat"); }
    std::unique_ptr<InsertSerialData> openStore(const QString &prefix = "tst")
    {
        auto store = std::make_unique<InsertSerialData>(dbPath(), prefix);
        store->setRowQueue(&m_rows);
        store->setEventQueue(&m_events);
        return store->createConnection() ? std::move(store) : nullptr;
    }
    void queue(const QString &serial, double ch1, double ch2, quint32 time)
    {
        m_rows.append(SerialDataRow{serial, ch1, ch2, time});
    }
    QVariant value(const QString &sql) { return sqlValue(dbPath(), sql); }
    QString path(const QString &name = "Line1.tpc") const { return m_dir->filePath(name); }
    void writeDeviceList(const QByteArray &json)
    {
        QSettings(path(), QSettings::IniFormat).setValue("DeviceList", json);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_rows.clear();
        m_rows.setLimit(PendingRowQueue::DEFAULT_LIMIT);
        m_events.clear();
    }

    void newDatabaseHasTheSiblingsTableAWriteAheadLogAndCountsIt()
    {
        QTest::failOnWarning(QRegularExpression("still in use"));
        auto store = openStore();
        QVERIFY(store);
        QCOMPARE(value("select sql from sqlite_master where name='kestrelix'").toString(),
                 QStringLiteral("CREATE TABLE kestrelix (\t\tid integer primary key autoincrement,"
                                "\t\tserialno varchar(18) not null, \t\tchannel1 float, channel2 "
                                "float, \t\tpointDate integer not null\t\t)"));
        QCOMPARE(store->journalMode(), QStringLiteral("wal"));
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 0);
        QCOMPARE(store->startDateTime(), 0u);

        // Until a checkpoint the rows live in the "-wal" file: the size shown counts both.
        for (quint32 i = 0; i < 200; ++i)
            queue("KX0001", i, -double(i), 1700000000 + i);
        QVERIFY(store->insertNow());
        const qint64 wal = QFileInfo(dbPath() + "-wal").size();
        QVERIFY(wal > 0);
        QCOMPARE(InsertSerialData::databaseFileSize(dbPath()), QFileInfo(dbPath()).size() + wal);

        const QString name = store->connectionName();
        store.reset();
        QVERIFY(!QSqlDatabase::contains(name));
    }

    // The sibling programs read what a statement with the numbers written out (six digits)
    // stores; no value and non-finite numbers are NULL.
    void storedValuesEqualThoseOfTheWrittenOutStatement()
    {
        auto store = openStore();
        QVERIFY(store);
        QList<double> values;
        QRandomGenerator random(42);
        for (int i = 0; i < 800; ++i) {
            const double twoDecimals = std::round((random.bounded(10000.0) - 5000.0) * 100) / 100;
            values << twoDecimals << (random.bounded(2e7) - 1e7) << random.bounded(1e-6);
        }
        values << 0.0 << -0.0 << 1e300 << -2.5e-300 << 99999.95 << 0.1 + 0.2 << 123.4567;
        for (int i = 0; i < values.size(); ++i)
            queue("V", values[i], values[i], quint32(i));
        quint32 time = 0;
        for (double missing : {double(NO_VALUE), qInf(), qQNaN()})
            queue("N", missing, missing, ++time);
        while (m_rows.count() > 0)
            QVERIFY(store->insertNow());
        QCOMPARE(value("select count(*) from kestrelix where serialno = 'N' and channel1 is null "
                       "and channel2 is null")
                     .toInt(),
                 3);

        QSqlDatabase db = QSqlDatabase::database(store->connectionName());
        QSqlQuery query(db);
        QVERIFY(query.exec("create table literal (pointDate integer, channel1 float)"));
        for (int first = 0; first < values.size(); first += 400) {
            QString text = "insert into literal (pointDate, channel1)";
            for (int i = first; i < std::min<int>(first + 400, int(values.size())); ++i)
                text += QString(i > first ? " union select " : " select ") + QString::number(i) +
                        ", " + QString::number(values[i], 'g', 6);
            QVERIFY(query.exec(text + ';'));
        }
        QCOMPARE(value("select count(*) from kestrelix k join literal l using (pointDate) where "
                       "k.serialno = 'V' and k.channel1 is l.channel1 and k.channel2 is "
                       "l.channel1 and typeof(k.channel1) = typeof(l.channel1)")
                     .toInt(),
                 int(values.size()));
    }

    // Identical rows of one batch are stored once, even across its statements; a serial number
    // is stored exactly as it is, whatever quotes it holds.
    void identicalRowsAreStoredOnceAndSerialNumbersAsTheyAre()
    {
        auto store = openStore();
        QVERIFY(store);
        queue("A1", 21.5, 40.2, 100);
        queue("A1", 21.5, 40.2, 100);
        queue("A1", 21.50001, 40.2, 100); // same 6-digit text
        queue("A2", 21.5, 40.2, 100);
        for (int i = 0; i < 700; ++i)
            queue("S", i, i, quint32(i));
        queue("S", 3, 3, 3);
        const QStringList serials = {"O'Brien", "'); drop table kestrelix; --",
                                     "x', 1, 2, 3 union select 'y", "KX\u00e9\u4e2d0001"};
        for (int i = 0; i < serials.size(); ++i)
            queue(serials.at(i), 1000 + i, 2, 10);
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 706);
        for (int i = 0; i < serials.size(); ++i)
            QCOMPARE(value(QStringLiteral("select serialno from kestrelix where channel1 = %1")
                               .arg(1000 + i))
                         .toString(),
                     serials.at(i));
    }

    void eventsAreCommittedWithTheSamplesWhateverTheEventTable_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<int>("events");
        QTest::newRow("new") << QString() << 2;
        QTest::newRow("newer version, more columns")
            << "create table kestrelix_event (id integer primary key autoincrement, pointDate "
               "integer not null, serialno text, channel integer not null default 0, kind text "
               "not null, value float, lowerLimit float, upperLimit float, text text, ackDate "
               "integer, ackBy text, site text default 'north')"
            << 2;
        QTest::newRow("columns missing") << "create table kestrelix_event (id integer)" << 0;
        QTest::newRow("a view in its place")
            << "create view kestrelix_event as select 1 as id" << 0;
    }
    void eventsAreCommittedWithTheSamplesWhateverTheEventTable()
    {
        QFETCH(QString, existing);
        QFETCH(int, events);
        if (!existing.isEmpty())
            sqlRows(dbPath(), existing);
        auto store = openStore();
        QVERIFY(store);
        QSignalSpy failed(store.get(), &InsertSerialData::eventLogFailed);
        for (quint32 time = 100; time < 102; ++time) {
            queue("S", 31, 1, time);
            m_events.append(EventRow{time, "S", 1, "alarm started", 31, 0, 30, {}});
            QVERIFY(store->insertNow());
        }
        QCOMPARE(store->totalRow(), 2);
        QCOMPARE(failed.count(), events ? 0 : 1);
        QCOMPARE(m_events.count(), 0);
        QCOMPARE(value("select count(*) from kestrelix_event where kind = 'alarm started' and "
                       "value = 31")
                     .toInt(),
                 events);
    }

    void acknowledgementOutlivesTheStoreAndTheExportQuotesAndDatesEveryField()
    {
        auto store = openStore();
        QVERIFY(store);
        m_events.append(
            EventRow{1700000000, "S", 1, "alarm started", 31.5, 0, 30, "Cold room, \"north\""});
        m_events.append(EventRow{1700000060, "S", 1, "alarm ended", 25, 0, 30, {}});
        QVERIFY(store->insertNow());
        QCOMPARE(store->unacknowledgedAlarms(), 1);
        {
            QSqlDatabase db = QSqlDatabase::database(store->connectionName());
            QCOMPARE(EventTable::acknowledge(db, 0, "night shift", 1700000100), 1);
            QCOMPARE(EventTable::acknowledge(db, 0, "someone else", 1700000200), 0);
        }
        store.reset();
        store = openStore();
        QCOMPARE(store->unacknowledgedAlarms(), 0);

        QBuffer csv;
        csv.open(QIODevice::WriteOnly);
        EventFilter range;
        range.from = 1700000000;
        range.to = 1700000059;
        int written = 0;
        QSqlDatabase db = QSqlDatabase::database(store->connectionName());
        QVERIFY(EventCsvWriter(&csv, {{"S", "Room 1"}}).writeAll(db, range, &written));
        QCOMPARE(written, 1);
        const QList<QByteArray> lines = csv.data().split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(0).startsWith("time,serial number,logger name,channel,kind"));
        QVERIFY2(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d,S,Room 1,1,)"
                                    R"(alarm started,31.5,0,30,"Cold room, ""north""",)"
                                    R"(\d{4}-.*[+-]\d\d:\d\d,night shift\r$)")
                     .match(QString::fromUtf8(lines.at(1)))
                     .hasMatch(),
                 lines.at(1).constData());
    }

    // The queue belongs to the recording, not to a store: what one store left is written by
    // the next, and a store writes only the queue handed to it.
    void queuedRowsOutliveStoresAndOnlyTheHandedQueueIsWritten()
    {
        {
            auto store = openStore();
            QVERIFY(store);
            queue("A1", 1, 2, 9);
            QVERIFY(store->insertNow());
            queue("A1", 1, 2, 10);
        }
        InsertSerialData unconnected(dbPath(), "idle");
        unconnected.setRowQueue(&m_rows);
        QVERIFY(!unconnected.insertNow());
        QCOMPARE(m_rows.count(), 1);
        queue("A1", 1, 2, 11);
        auto store = openStore("again");
        PendingRowQueue other;
        other.append(SerialDataRow{"B1", 1, 2, 12});
        QVERIFY(store->insertNow());
        QCOMPARE(m_rows.count(), 0);
        QCOMPARE(store->totalRow(), 3);
        QCOMPARE(store->startDateTime(), 9u);
        QCOMPARE(store->endDateTime(), 11u);
        store->setRowQueue(&other);
        QVERIFY(store->insertNow());
        store->setRowQueue(nullptr);
        queue("A1", 1, 2, 13);
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 4);
        QCOMPARE(m_rows.count(), 1);

        // A full queue drops its oldest rows and says how many.
        m_rows.clear();
        m_rows.setLimit(10);
        const qint64 droppedBefore = m_rows.droppedRowCount();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\[ERROR\\] more than 10 rows"));
        for (int i = 0; i < 15; ++i)
            queue("C1", i, i, quint32(100 + i));
        QCOMPARE(m_rows.count(), 10);
        QCOMPARE(m_rows.droppedRowCount() - droppedBefore, 5);
        store->setRowQueue(&m_rows);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\[ERROR\\] 5 rows were dropped"));
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 14);
        QCOMPARE(store->endDateTime(), 114u);
    }

    void aLongQueueIsWrittenOneBoundedSliceAtATime_data()
    {
        QTest::addColumn<int>("rows");
        const int slice = InsertSerialData::ROWS_PER_FLUSH;
        for (int rows : {400, 401, 600, slice, 2 * slice + 5})
            QTest::addRow("%d rows", rows) << rows;
    }
    void aLongQueueIsWrittenOneBoundedSliceAtATime()
    {
        QFETCH(int, rows);
        auto store = openStore();
        QVERIFY(store);
        for (int i = 0; i < rows; ++i)
            queue(QStringLiteral("S%1").arg(i % 64), i, NO_VALUE, quint32(1700000000 + i / 64));
        for (int left = rows; left > 0;) {
            QVERIFY(store->insertNow());
            left = std::max(0, left - InsertSerialData::ROWS_PER_FLUSH);
            QCOMPARE(m_rows.count(), left);
            QCOMPARE(store->totalRow(), rows - left);
        }
    }

    void aRefusedRowIsDroppedAndTheRestOfItsFlushIsStored()
    {
        auto store = openStore();
        QVERIFY(store);
        for (int i = 0; i < 700; ++i)
            queue(i == 10 || i == 450 ? QString() : QStringLiteral("S%1").arg(i % 4), i, 2,
                  quint32(1700000000 + i));
        for (int time : {1700000010, 1700000450})
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("\\[ERROR\\] row dropped, "
                                                                   "serial \\(none\\) time %1")
                                                        .arg(time)));
        QVERIFY(store->insertNow());
        QCOMPARE(m_rows.count(), 0);
        QCOMPARE(store->totalRow(), 698);
    }

    // WAL cannot be switched on while another program reads the file in rollback mode.
    void rollbackJournalIsUsedWhereWalCannotBeHad()
    {
        {
            QSqlDatabase reader = QSqlDatabase::addDatabase("QSQLITE", "reader");
            reader.setDatabaseName(dbPath());
            QVERIFY(reader.open());
            QSqlQuery query(reader);
            QVERIFY(query.exec(SCHEMA));
            QVERIFY(query.exec("BEGIN"));
            QVERIFY(query.exec("select count(*) from kestrelix") && query.next());

            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("PRAGMA journal_mode = WAL"));
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("\\[ERROR\\] WAL journal not available"));
            auto store = openStore();
            QVERIFY(store);
            QCOMPARE(store->journalMode(), QStringLiteral("delete"));
            QVERIFY(query.exec("COMMIT"));
            queue("A1", 1, 2, 10);
            QVERIFY(store->insertNow());
        }
        QSqlDatabase::removeDatabase("reader");
        QCOMPARE(value("select count(*) from kestrelix").toInt(), 1);
        QCOMPARE(value("PRAGMA journal_mode").toString(), QStringLiteral("delete"));
    }

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

        // The device list must be a JSON object; one without a devices array is no device.
        QList<DeviceRecord> records;
        QVERIFY(!ProjectFile::parseDeviceList(ProjectFile::readDeviceList(path()), &records));
        const QList<QPair<QByteArray, bool>> lists = {{"devices: none", false},
                                                      {"[{\"DeviceType\": \"SERIAL\"}]", false},
                                                      {"{}", true},
                                                      {"{\"devices\": 7}", true}};
        for (const auto &[json, accepted] : lists) {
            writeDeviceList(json);
            QCOMPARE(ProjectFile::parseDeviceList(ProjectFile::readDeviceList(path()), &records),
                     accepted);
            QVERIFY(records.isEmpty());
        }
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

    // Members of a wrong type or out of their range read as zero or empty.
    void unreadableMembersReadAsZeroOrEmpty()
    {
        for (int warning = 0; warning < 3; ++warning)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("WARNING.*DeviceNumber"));
        const QList<DeviceRecord> records =
            parsed("{\"DeviceType\": \"TELNET\", \"ch1_unit\": \"5\", \"DashboardNumber\": \"2\", "
                   "\"DevicePort\": \"telnet\", \"ch1_min\": \"low\", \"DeviceNumber\": \"KX7\"},"
                   "{\"DeviceType\": \"TELNET\", \"ch1_unit\": \"-1\", \"DashboardNumber\": 2.5, "
                   "\"DevicePort\": \"70000\", \"ch1_min\": \"-7\", \"DeviceNumber\": 12345678},"
                   "{\"DeviceType\": \"TELNET\", \"ch1_unit\": \"4\", \"DashboardNumber\": 1e12, "
                   "\"DevicePort\": \"4001\", \"DeviceNumber\": null},"
                   "{\"DeviceType\": \"TELNET\", \"ch1_unit\": 3, \"DashboardNumber\": 2, "
                   "\"DeviceName\": \"x\"}");
        QStringList read;
        for (const DeviceRecord &r : records) {
            QVERIFY(!r.deviceNumber.isNull());
            read << QStringLiteral("%1|%2|%3|%4|%5")
                        .arg(r.ch1Unit)
                        .arg(r.dashboardNumber)
                        .arg(r.devicePort)
                        .arg(r.ch1Min)
                        .arg(r.deviceNumber);
        }
        QCOMPARE(read,
                 QStringList({"0|0|0|0|KX7", "0|0|0|-7|12345678", "4|0|4001|0|", "0|2|0|0|"}));
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

QTEST_MAIN(TestStore)
#include "tst_store.moc"

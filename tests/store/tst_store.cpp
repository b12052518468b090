// The measurement store and the project file, which the sibling programs read, and the central
// database against a real PostgreSQL 15 server: rows written through the store the program uses,
// across a server restart, a refused password, a wrong address and a second recorder that wants
// the same logger; history, statistics and reports read back from a recorded project.
#include "device/configureddevice.h"
#include "project/databasesettingsdialog.h"
#include "project/projectfile.h"
#include "recorder/recorder.h"
#include "store/eventcsvwriter.h"
#include "store/historydatabase.h"
#include "store/historyquery.h"
#include "store/historyscan.h"
#include "store/historysummary.h"
#include "store/insertserialdata.h"
#include "store/pgeventreader.h"
#include "store/pgschema.h"
#include "store/pgstore.h"
#include "tests/support/messageprobe.h"
#include "tests/support/pgtestserver.h"
#include "tests/support/sqlprobe.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"
#include "view/eventsview.h"
#include "view/historychart.h"
#include "view/historyview.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTcpServer>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {
constexpr qint64 T0 = 1700000000; // 2023-11-14 22:13:20 UTC

// id, time offset, logger, channel 1, channel 2 (NaN: NULL). Ids out of time order; a NULL in
// either channel, a break row and a 60 s gap at a 10 s interval.
struct Sample
{
    int id;
    qint64 offset;
    const char *serial;
    double ch1, ch2;
};
const Sample SAMPLES[] = {{6, 100, "A1", 2.0, 55}, {7, 110, "A1", 3.0, 56},
                          {1, 0, "A1", 4.0, 50},   {2, 10, "A1", 6.0, 51},
                          {3, 20, "A1", NAN, 52},  {4, 30, "A1", -1.0, NAN},
                          {5, 40, "A1", NAN, NAN}, {8, 10, "B7", 21.5, NAN}};

// id 0 and NaN are NULL.
void insert(const QSqlDatabase &db, int id, qint64 time, const QString &serial, double a, double b)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("insert into kestrelix (id, serialno, channel1, channel2, pointDate)"
                             " values (nullif(?, 0), ?, ?, ?, ?)"));
    const QVariant null(QMetaType::fromType<double>());
    for (const QVariant &value : {QVariant(id), QVariant(serial), std::isnan(a) ? null : a,
                                  std::isnan(b) ? null : b, QVariant(time)})
        q.addBindValue(value);
    QVERIFY2(q.exec(), qPrintable(q.lastQuery()));
}

QList<DeviceRecord> parsed(const QString &entries)
{
    QList<DeviceRecord> records;
    if (!ProjectFile::parseDeviceList(QStringLiteral("{\"devices\": [%1]}").arg(entries).toUtf8(),
                                      &records))
        records.append(DeviceRecord{});
    return records;
}

// Every member the project file keeps, one line per device.
QStringList describe(const QList<ConfiguredDevice *> &devices)
{
    QStringList lines;
    for (const ConfiguredDevice *d : devices)
        QDebug(&lines.emplace_back()).noquote().nospace()
            << d->deviceNumber() << '|' << d->linkType() << '|' << d->deviceName() << '|'
            << d->ch1Name() << '|' << d->ch2Name() << '|' << d->deviceInterface() << '|'
            << d->devicePort() << '|' << d->ch1Unit() << '|' << d->ch2Unit() << '|'
            << d->settings().ch1Min() << '|' << d->settings().ch1Max() << '|'
            << d->settings().ch2Min() << '|' << d->settings().ch2Max() << '|' << d->ch1Custom()
            << '|' << d->ch2Custom() << '|' << d->buzzerAlarm() << '|' << d->dashboardNumber()
            << '|' << (d->keepAlive() ? "keep-alive" : "no keep-alive");
    return lines;
}

struct DeviceList
{
    QList<ConfiguredDevice *> devices;
    ~DeviceList() { qDeleteAll(devices); }
};
} // namespace

#define REQUIRE_SERVER()                                                                           \
    if (!m_strNoServer.isEmpty())                                                                  \
    QSKIP(qPrintable(m_strNoServer))

class TestStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    PendingRowQueue m_rows{PendingRowQueue::DEFAULT_LIMIT};
    PendingEventQueue m_events;
    QString m_strNoServer; // why no PostgreSQL server can run here
    PgTestServer m_server;
    quint32 m_nextSecond = 1700000000;

    void sample(const QStringList &serials)
    {
        for (const QString &serial : serials)
            m_rows.append({serial, 21.5, 40.25, m_nextSecond});
        ++m_nextSecond;
    }
    // Asks the store to begin recording and waits for the worker's answer.
    static bool claim(InsertSerialData &store, const QStringList &serials, QString *message,
                      const QString &project = QStringLiteral("p.tpc"))
    {
        QSignalSpy answers(&store, &InsertSerialData::startAnswered);
        const quint64 request = store.requestStart(serials, project);
        if (!answers.wait(15000) || answers.first().at(0).toULongLong() != request)
            return false;
        *message = answers.first().at(2).toString();
        return answers.first().at(1).toBool();
    }
    static QString labels(const QWidget &view)
    {
        QStringList texts;
        for (const QLabel *label : view.findChildren<QLabel *>())
            texts << label->text();
        return texts.filter(QRegularExpression(QStringLiteral("^(Page|The events)"))).join('|');
    }
    QString count(const QString &where = QStringLiteral("true"))
    {
        QString value;
        m_server.exec({QStringLiteral("select count(*) from kestrelix where ") + where}, &value);
        return value;
    }

    QString dbPath() const { return m_dir->filePath("Line1.dat"); }
    // A store of the test's queues: the project's SQLite file unless told another file or a URL.
    std::unique_ptr<InsertSerialData> openStore(const QString &prefix = "tst", QString file = {})
    {
        auto store = std::make_unique<InsertSerialData>(file.isEmpty() ? dbPath() : file, prefix);
        store->setRowQueue(&m_rows);
        store->setEventQueue(&m_events);
        if (!store->createConnection()) // a broken scene: stop at once, not on a null store
            qFatal("the store %s does not open", qPrintable(prefix));
        return store;
    }
    void queue(const QString &s, double a, double b, quint32 t) { m_rows.append({s, a, b, t}); }
    QVariant value(const QString &sql) { return sqlValue(dbPath(), sql); }
    int rows(const QString &where, const QString &table = "kestrelix")
    {
        return value("select count(*) from " + table + " where " + where).toInt();
    }
    QString path(const QString &name = "Line1.tpc") const { return m_dir->filePath(name); }

    QString runProgram(const QStringList &args, int *exitCode)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString name : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
            QDir().mkpath(m_history.filePath(name));
            QFile::setPermissions(m_history.filePath(name),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            env.insert(name, m_history.filePath(name));
        }
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VELMORAN_LITE_PATH), args);
        process.waitForFinished(60000);
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return QString::fromUtf8(process.readAllStandardError());
    }

    TempProjectDir m_history;
    QString m_project;
    HistoryProject m_info;

private slots:
    void initTestCase()
    {
        // A fixed offset without summer time: every local time below reads +01:00.
        qputenv("TZ", "CET-1");
        isolateSettings();
        m_strNoServer = PgTestServer::missingReason();
        QVERIFY2(!m_strNoServer.isEmpty() || m_server.start(), qPrintable(m_server.lastError()));
    }
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
        QCOMPARE(value("select sql from sqlite_master where name='kestrelix'").toString(),
                 QStringLiteral("CREATE TABLE kestrelix (\t\tid integer primary key autoincrement,"
                                "\t\tserialno varchar(18) not null, \t\tchannel1 float, channel2 "
                                "float, \t\tpointDate integer not null\t\t)"));
        QVERIFY(store->journalMode() == "wal" && store->insertNow());
        QCOMPARE(QVariantList({store->totalRow(), store->startDateTime()}), QVariantList({0, 0u}));

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
    void storedValuesAndSerialsAreThoseWrittenOutAndIdenticalRowsStoredOnce()
    {
        auto store = openStore();
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
        QCOMPARE(rows("serialno = 'N' and channel1 is null and channel2 is null"), 3);

        QSqlQuery query(QSqlDatabase::database(store->connectionName()));
        QVERIFY(query.exec("create table literal (pointDate integer, channel1 float)"));
        for (int first = 0; first < values.size(); first += 400) {
            QString text = "insert into literal (pointDate, channel1)";
            for (int i = first; i < std::min<int>(first + 400, int(values.size())); ++i)
                text += QString(i > first ? " union select " : " select ") + QString::number(i) +
                        ", " + QString::number(values[i], 'g', 6);
            QVERIFY(query.exec(text + ';'));
        }
        QCOMPARE(rows("k.serialno = 'V' and k.channel1 is l.channel1 and k.channel2 is l.channel1 "
                      "and typeof(k.channel1) = typeof(l.channel1)",
                      "kestrelix k join literal l using (pointDate)"),
                 int(values.size()));

        // Identical rows of one batch are stored once, even across its statements; a serial number
        // is stored exactly as it is, whatever quotes it holds; a refused row is dropped, and the
        // rest of its flush is stored.
        queue("A1", 21.5, 40.2, 100);
        queue("A1", 21.5, 40.2, 100);
        queue("A1", 21.50001, 40.2, 100); // same 6-digit text
        queue("A2", 21.5, 40.2, 100);
        for (int i = 0; i < 700; ++i)
            queue(i == 10 || i == 450 ? QString() : QStringLiteral("S"), i, i, quint32(i));
        queue("S", 3, 3, 3);
        for (const char *time : {"10", "450"})
            QTest::ignoreMessage(
                QtWarningMsg,
                QRegularExpression("row dropped, serial \\(none\\) time " + QString(time)));
        const QStringList serials = {"O'Brien", "'); drop table kestrelix; --",
                                     "x', 1, 2, 3 union select 'y", "KX\u00e9\u4e2d0001"};
        for (int i = 0; i < serials.size(); ++i)
            queue(serials.at(i), 1000 + i, 2, 10);
        QVERIFY(store->insertNow());
        QCOMPARE(QVariantList({m_rows.count(), store->totalRow()}),
                 QVariantList({0, int(values.size()) + 3 + 704}));
        QCOMPARE(value("select group_concat(serialno, '|') from (select serialno from kestrelix "
                       "where channel2 = 2 and channel1 >= 1000 order by channel1)"),
                 serials.join('|'));
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
        QSignalSpy failed(store.get(), &InsertSerialData::eventLogFailed);
        for (quint32 time = 100; time < 102; ++time) {
            queue("S", 31, 1, time);
            m_events.append(EventRow{time, "S", 1, "alarm started", 31, 0, 30, {}});
            QVERIFY(store->insertNow());
        }
        QCOMPARE(QVariantList({store->totalRow(), failed.count(), m_events.count(),
                               rows("kind = 'alarm started' and value = 31", "kestrelix_event")}),
                 QVariantList({2, events ? 0 : 1, 0, events}));
    }

    void acknowledgementOutlivesTheStoreAndTheExportQuotesAndDatesEveryField()
    {
        auto store = openStore();
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
        const EventFilter range{{}, {}, false, 1700000000, 1700000059};
        int written = 0;
        QSqlDatabase db = QSqlDatabase::database(store->connectionName());
        QVERIFY(EventCsvWriter(&csv, {{"S", "Room 1"}}).writeAll(db, range, &written));
        const QList<QByteArray> lines = csv.data().split('\n');
        QVERIFY(written == 1 && lines.size() == 3);
        QVERIFY(lines.at(0).startsWith("time,serial number,logger name,channel,kind"));
        QCOMPARE(lines.at(1),
                 QByteArray(R"(2023-11-14T23:13:20+01:00,S,Room 1,1,alarm started,31.5,)"
                            R"(0,30,"Cold room, ""north""",2023-11-14T23:15:00+01:00,)"
                            "night shift\r"));
    }

    // The queue belongs to the recording, not to a store: what one store left is written by
    // the next, and a store writes only the queue handed to it.
    void queuedRowsOutliveStoresAndOnlyTheHandedQueueIsWritten()
    {
        {
            auto store = openStore();
            queue("A1", 1, 2, 9);
            QVERIFY(store->insertNow());
            queue("A1", 1, 2, 10);
        }
        InsertSerialData unconnected(dbPath(), "idle");
        unconnected.setRowQueue(&m_rows);
        QVERIFY(!unconnected.insertNow() && m_rows.count() == 1);
        queue("A1", 1, 2, 11);
        auto store = openStore("again");
        const auto state = [&] {
            return QVariantList{m_rows.count(), store->totalRow(), store->startDateTime(),
                                store->endDateTime()};
        };
        PendingRowQueue other;
        other.append(SerialDataRow{"B1", 1, 2, 12});
        QVERIFY(store->insertNow());
        QCOMPARE(state(), QVariantList({0, 3, 9u, 11u}));
        store->setRowQueue(&other);
        QVERIFY(store->insertNow());
        store->setRowQueue(nullptr);
        queue("A1", 1, 2, 13);
        QVERIFY(store->insertNow());
        QCOMPARE(state(), QVariantList({1, 4, 9u, 12u}));

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
        QCOMPARE(state(), QVariantList({0, 14, 9u, 114u}));

        // A long queue is written one bounded slice at a time.
        m_rows.setLimit(PendingRowQueue::DEFAULT_LIMIT);
        const int slice = InsertSerialData::ROWS_PER_FLUSH;
        for (int rows : {400, 401, 600, slice, 2 * slice + 5}) {
            const int before = store->totalRow();
            for (int i = 0; i < rows; ++i)
                queue(QStringLiteral("S%1").arg(i % 64), i, NO_VALUE, quint32(T0 + i / 64));
            for (int left = rows; left > 0;) {
                QVERIFY(store->insertNow());
                left = std::max(0, left - slice);
                QCOMPARE(QVariantList({m_rows.count(), store->totalRow() - before}),
                         QVariantList({left, rows - left}));
            }
        }
    }

    // WAL cannot be switched on while another program reads the file in rollback mode.
    void rollbackJournalIsUsedWhereWalCannotBeHad()
    {
        {
            QSqlDatabase reader = QSqlDatabase::addDatabase("QSQLITE", "reader");
            reader.setDatabaseName(dbPath());
            QVERIFY(reader.open());
            QSqlQuery query(reader);
            QVERIFY(query.exec("create table kestrelix (id integer primary key autoincrement, "
                               "serialno varchar(18) not null, channel1 float, channel2 float, "
                               "pointDate integer not null)"));
            QVERIFY(query.exec("BEGIN") && query.exec("select count(*) from kestrelix") &&
                    query.next());

            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("PRAGMA journal_mode = WAL"));
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("\\[ERROR\\] WAL journal not available"));
            auto store = openStore();
            QCOMPARE(store->journalMode(), QStringLiteral("delete"));
            QVERIFY(query.exec("COMMIT"));
            queue("A1", 1, 2, 10);
            QVERIFY(store->insertNow());
        }
        QSqlDatabase::removeDatabase("reader");
        QCOMPARE(rows("true"), 1);
        QCOMPARE(value("PRAGMA journal_mode").toString(), QStringLiteral("delete"));
    }

    void projectFileKeysDevicesAndEntriesReadAsFarAsTheyMakeSense()
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
        QCOMPARE(
            QVariantList({info.dataInterval, info.dashboardNames, info.projectName,
                          info.databaseName, ProjectFile::readString(path(), "record_stop_time")}),
            QVariantList({60000, names, "Line1", "Line1.dat", "2026-01-02 03:04:05"}));
        QVERIFY(!ProjectFile::readInfo(path("absent.tpc"), &info));

        // Files from before the option sound the alarm on lost communication (tst_faults turns
        // it off through the events window).
        QVERIFY(ProjectFile::communicationLossAlarm(path()));

        // The device list must be a JSON object; one without a devices array is no device.
        QList<DeviceRecord> records;
        QVERIFY(!ProjectFile::parseDeviceList(ProjectFile::readDeviceList(path()), &records));
        const QList<QPair<QByteArray, bool>> lists = {{"devices: none", false},
                                                      {"[{\"DeviceType\": \"SERIAL\"}]", false},
                                                      {"{}", true},
                                                      {"{\"devices\": 7}", true}};
        for (const auto &[json, accepted] : lists) {
            QSettings(path(), QSettings::IniFormat).setValue("DeviceList", json);
            QCOMPARE(ProjectFile::parseDeviceList(ProjectFile::readDeviceList(path()), &records),
                     accepted);
            QVERIFY(records.isEmpty());
        }
        // An unwritable project file is reported; a long folder is cut in the label.
        QVERIFY(QDir(m_dir->path()).mkdir("folder.tpc"));
        QVERIFY(QFile(path("plain")).open(QIODevice::WriteOnly));
        for (const QString &file : {path("folder.tpc"), path("plain/Line1.tpc")}) {
            QVERIFY2(!ProjectFile::create(file, "Line1", 10000), qPrintable(file));
            QVERIFY(!ProjectFile::saveDevices(file, {}));
            QVERIFY(!ProjectFile::writeConfiguration(file, 1000, {}));
            QVERIFY(!ProjectFile::writeValue(file, "record_start_time", "x"));
        }
        const QString folder40 = "/" + QString(39, 'a');
        QCOMPARE(ProjectFile::projectLabel(folder40 + "/x.tpc", "P"), folder40 + "/P.tpc");
        QCOMPARE(ProjectFile::projectLabel(folder40 + "b/x.tpc", "P"), folder40 + ".../P.tpc");

        // Every member of every device survives save and load; the backup holds the list before.
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

        const QByteArray handWritten = "{ \"devices\" :\n\t[ ]\r\n}  ";
        QSettings(path(), QSettings::IniFormat).setValue("DeviceList", handWritten);
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
        const QJsonObject second = array.at(1).toObject();
        QCOMPARE(QJsonArray({first["DeviceType"], first["ch1_min"], second["DeviceType"],
                             second["ch1_min"], second["DashboardNumber"]}),
                 QJsonArray({"SERIAL", "-20.00", "TELNET", "12.57", 3}));

        DeviceList loaded;
        QVERIFY(ProjectFile::parseDeviceList(json, &records));
        ProjectFile::applyRecords(records, &loaded.devices, true);
        // Keep-alive concerns network loggers only.
        QCOMPARE(describe(loaded.devices),
                 QStringList({"KX0001|1|Fridge|Temp|Humid|COM3|23|1|4|-20|8.5|10|90|degC|"
                              "%rh \"wet\"|CH1|0|no keep-alive",
                              "024B58000001|2|Hall|T|H|10.0.0.7|4001|2|3|12.57|30|0|0|||AND|3|"
                              "keep-alive"}));

        loaded.devices.first()->setDeviceName("renamed");
        QVERIFY(ProjectFile::saveDevices(path(), loaded.devices));
        QCOMPARE(QSettings(path(), QSettings::IniFormat).value("Backup").toByteArray(), json);

        // Members of a wrong type or out of their range read as zero or empty.
        for (int warning = 0; warning < 3; ++warning)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("WARNING.*DeviceNumber"));
        records =
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
            QDebug(&read.emplace_back()).noquote().nospace()
                << r.ch1Unit << '|' << r.dashboardNumber << '|' << r.devicePort << '|' << r.ch1Min
                << '|' << r.deviceNumber;
        }
        QCOMPARE(read,
                 QStringList({"0|0|0|0|KX7", "0|0|0|-7|12345678", "4|0|4001|0|", "0|2|0|0|"}));

        // An entry without a type is skipped; a later entry of the same logger, or of one
        // already in the list, configures that device and keeps its link.
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
        QCOMPARE(describe(devices.devices),
                 QStringList({"KX1|2||||10.0.0.9|0|0|0|0|0|0|0|||OR|0|no keep-alive",
                              "D|2|||||0|0|0|0|0|0|0||||0|no keep-alive",
                              "KX3|1|second||||0|0|0|0|0|0|0||||2|no keep-alive"}));
    }

    // Shown name or the start of the error of each address; a wrong address opens the store
    // (the program keeps running) and refuses to record.
    void addressesPasswordsAndTheDatabaseDialog()
    {
        REQUIRE_SERVER();
        const QList<QPair<QString, QString>> addresses = {
            {"postgresql://rec@%2Frun%2Fpg:5433/site?sslmode=require", "rec@/run/pg:5433/site"},
            {"postgres://rec@/site?host=/tmp/s", "rec@/tmp/s/site"},
            {"postgresql://rec:pw@db/site", "The database address must not"},
            {"postgresql://db:99999/site", "The database address has a wrong port"},
            {"postgresql://db:5432", "The database address names no"},
            {"mysql://db/site", "The database address must begin"}};
        for (const auto &[url, expected] : addresses) {
            PgConnectionSettings settings;
            const bool ok = settings.parse(url);
            QCOMPARE(ok ? settings.displayName() : settings.error().left(expected.size()),
                     expected);
            QCOMPARE(settings.options().contains("sslmode=require"), url.contains("sslmode"));
        }
        QString message;
        const QString wrong = QStringLiteral("postgresql://postgres@%2Fno%2Fsuch%2Fdir/velmoran");
        QVERIFY(!PgStore::testConnection(wrong, &message));
        QVERIFY2(message.startsWith("Cannot connect to postgres@/no/such/dir"),
                 qPrintable(message));
        auto store = openStore("wrong", wrong);
        QVERIFY(!claim(*store, {QStringLiteral("W1")}, &message));
        QVERIFY2(message.startsWith("Cannot use the database postgres@/no/such/"),
                 qPrintable(message));

        // A refused password keeps the rows and events queued until the right one is given.
        const QString passFile = path(QStringLiteral("pgpass"));
        auto writePass = [&](const char *password) {
            QFile f(passFile);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray("*:*:velmoran:writer:") + password + '\n');
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        };
        writePass("wrong");
        store = openStore("pw", m_server.url("writer", "passfile=" + passFile));
        QVERIFY(!claim(*store, {QStringLiteral("P1")}, &message));
        QVERIFY2(message.contains("password authentication failed"), qPrintable(message));
        m_events.append(EventRow{m_nextSecond, QStringLiteral("P1"), 1, EventKind::alarmStarted,
                                 31.5, 0, 30, QStringLiteral("Cold room 'A'")});
        sample({QStringLiteral("P1")});
        QTRY_VERIFY(!store->insertNow());
        QCOMPARE(QVariantList({m_rows.count(), m_events.count()}), QVariantList({1, 1}));
        writePass("secret");
        QVERIFY2(claim(*store, {QStringLiteral("P1")}, &message), qPrintable(message));
        QTRY_VERIFY(store->insertNow() && m_rows.count() == 0 && m_events.count() == 0);
        QCOMPARE(count(QStringLiteral("serialno = 'P1'")), QStringLiteral("1"));

        // "Database..." points a project at the server: checked, tried off the GUI thread.
        const QString project = path(QStringLiteral("site.tpc"));
        QVERIFY(ProjectFile::create(project, QStringLiteral("site"), 1000));
        DatabaseSettingsDialog dialog(project);
        auto *url = dialog.findChild<QLineEdit *>(QStringLiteral("lineEdit_databaseUrl"));
        auto *test = dialog.findChild<QPushButton *>(QStringLiteral("btn_testConnection"));
        url->setText(QStringLiteral("mysql://db/site"));
        dialog.accept();
        QVERIFY(dialog.resultText().startsWith(QLatin1String("The database address must begin")));
        url->clear();
        test->click();
        QCOMPARE(dialog.resultText(),
                 QStringLiteral("The project records into its own database file."));
        url->setText(m_server.url());
        test->click();
        QVERIFY(!test->isEnabled());
        QTRY_VERIFY(test->isEnabled());
        QVERIFY2(dialog.resultText().startsWith(QLatin1String("Connected to postgres@")),
                 qPrintable(dialog.resultText()));
        QVERIFY(ProjectFile::databaseUrl(project).isEmpty());
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(ProjectFile::databaseUrl(project), m_server.url());

        // Its Events view reads and acknowledges the server's log in the background.
        ConfiguredDevice logger(QStringLiteral("P1"), LINK_TCP);
        logger.setDeviceName(QStringLiteral("Cold A"));
        EventsView view(project, {&logger});
        auto *table = view.findChild<QTableWidget *>(QStringLiteral("table_events"));
        QSignalSpy acknowledged(&view, &EventsView::acknowledged);
        QSignalSpy pages(view.findChild<PgEventReader *>(), &PgEventReader::pageRead);
        QVERIFY(view.isServer());
        QTRY_COMPARE(table->rowCount(), 1); // the event the store wrote, as it was
        QCOMPARE(view.shownRecords().value(0).row.text, QStringLiteral("Cold room 'A'"));
        QCOMPARE(table->item(0, 1)->text() + table->item(0, 3)->text() + table->item(0, 4)->text() +
                     table->item(0, 6)->text(),
                 QStringLiteral("Cold AAlarm started31.50No"));
        view.findChild<QComboBox *>(QStringLiteral("combo_logger"))->setCurrentIndex(1);
        view.findChild<QCheckBox *>(QStringLiteral("check_unacknowledged"))->setChecked(true);
        view.showPage(3); // past the end: the last page instead
        QTRY_COMPARE(labels(view), QStringLiteral("Page 1 of 1 (1 events)"));
        QCOMPARE(table->rowCount(), 1);
        table->setCurrentCell(0, 0);
        view.setOperatorName(QStringLiteral("op"));
        view.acknowledgeSelected();
        QTRY_COMPARE(acknowledged.count(), 1);
        QTRY_COMPARE(view.totalCount(), 0);
        pages.clear();
        view.acknowledgeAll(); // nothing left: no signal
        QTRY_COMPARE(pages.count(), 1);
        QCOMPARE(acknowledged.count(), 1);
        QVERIFY(!view.exportCsv(path(QStringLiteral("e.csv")), 0, 1));
        QVERIFY(shownMessages(&view).value(0).text.contains(QLatin1String("kestrelix_event")));
        // A server that cannot be reached, an address that cannot be used: said in the view.
        for (const QString &address : {QStringLiteral("postgresql://postgres@%2Fno%2Fdir/velmoran"),
                                       QStringLiteral("postgresql://rec:pw@db/site")}) {
            QVERIFY(ProjectFile::writeDatabaseUrl(project, address));
            EventsView failed(project, {});
            failed.acknowledgeAll();
            QTRY_VERIFY2(labels(failed).contains(QLatin1String(" cannot be read: ")),
                         qPrintable(labels(failed)));
        }
    }

    // The recorder asks the server in the background: record start returns at once whatever
    // the server does, recording begins only once it agreed, and a refusal comes as a signal.
    void recorderStartDoesNotWait_data()
    {
        QTest::addColumn<QString>("refusal"); // the message's start; empty: recording begins
        QTest::newRow("silent") << "Cannot use the database postgres@127.0.0.1";
        QTest::newRow("taken") << "Logger S2 is recorded by";
        QTest::newRow("up") << "";
    }
    void recorderStartDoesNotWait()
    {
        REQUIRE_SERVER();
        const QString server = QString::fromLatin1(QTest::currentDataTag());
        QFETCH(QString, refusal);
        // Takes the connection and never answers: the worker waits for the connect time-out.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        for (const PgTable &table : PgSchema::tables())
            QVERIFY(m_server.exec({table.createStatement}));
        QVERIFY(m_server.exec({QStringLiteral(
            "insert into kestrelix (serialno, channel1, channel2, pointDate) values "
            "('S1', 1, 2, 1600000000), ('S2', 1, 2, 1600000500) on conflict do nothing")}));
        auto other = openStore("other", m_server.url());
        QString message;
        // Another recorder holds one logger: the same one, or one the recorder does not want.
        const bool taken = server == QLatin1String("taken");
        QVERIFY2(claim(*other, {QLatin1String(taken ? "S2" : "S9")}, &message),
                 qPrintable(message));
        const QString project = path(QStringLiteral("site.tpc"));
        QVERIFY(ProjectFile::create(project, QStringLiteral("site"), 1000));
        QVERIFY(ProjectFile::writeDatabaseUrl(
            project,
            server == QLatin1String("silent")
                ? QStringLiteral("postgresql://postgres@127.0.0.1:%1/velmoran?connect_timeout=2")
                      .arg(silent.serverPort())
                : m_server.url()));
        Recorder recorder;
        recorder.setDevices({new ConfiguredDevice(QStringLiteral("S1"), LINK_TCP),
                             new ConfiguredDevice(QStringLiteral("S2"), LINK_TCP)});
        QSignalSpy started(&recorder, &Recorder::recordingStarted);
        QSignalSpy refused(&recorder, &Recorder::recordingRefused);
        QSignalSpy errors(&recorder, &Recorder::storeError);
        QSignalSpy range(&recorder, &Recorder::recordedRangeChanged);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(recorder.openStore(project), Recorder::OpenResult::Opened);
        QVERIFY(recorder.startRecording() && recorder.startRecording());
        QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!recorder.isRecording() && recorder.isStartPending() &&
                recorder.recordStartText().isEmpty());
        if (refusal.isEmpty()) {
            QTRY_COMPARE(started.count(), 1);
            QVERIFY(recorder.isRecording());
            const QString first = QDateTime::fromSecsSinceEpoch(1600000000)
                                      .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
            QCOMPARE(QVariantList({range.count(), range.value(0).value(0),
                                   recorder.recordStartText(), started.first().first()}),
                     QVariantList({1, first, first, first}));
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(refused.count(), 1, 15000);
            QVERIFY2(refused.first().first().toString().startsWith(refusal),
                     qPrintable(refused.first().first().toString()));
            QCOMPARE(QList<QVariantList>(errors), QList<QVariantList>(refused));
            QVERIFY(!recorder.isRecording() && !recorder.isStartPending() && started.isEmpty());
        }
        if (taken) {
            // The other recorder's project is named; once it stops, the logger is free.
            QVERIFY(refused.first().first().toString().contains(QLatin1String("p.tpc")));
            other->stopRecording();
            QVERIFY(claim(*other, {QStringLiteral("S9")}, &message)); // after the release
            QVERIFY(recorder.startRecording());
            QTRY_COMPARE(started.count(), 1);
        }
        other->stopRecording();
    }

    // The server stops for ten seconds while four loggers record every second: the store says
    // so, keeps every row and stores each exactly once when the server is back.
    void serverRestartLosesNothing()
    {
        REQUIRE_SERVER();
        const QStringList loggers = QStringLiteral("R1 R2 R3 R4").split(' ');
        auto store = openStore("restart", m_server.url());
        QString message;
        QVERIFY2(claim(*store, loggers, &message), qPrintable(message));
        const quint32 first = m_nextSecond;
        // The same rows twice, as after a commit whose answer was lost: stored once.
        for (int pass = 0; pass < 2; ++pass) {
            m_nextSecond = first;
            for (int i = 0; i < 5; ++i)
                sample(loggers);
            QTRY_VERIFY(store->insertNow() && m_rows.count() == 0);
        }
        QCOMPARE(count(QStringLiteral("serialno like 'R%'")), QStringLiteral("20"));

        QVERIFY2(m_server.stop(), qPrintable(m_server.lastError()));
        QElapsedTimer outage;
        outage.start();
        int failures = 0;
        while (outage.elapsed() < 10000) {
            sample(loggers);
            failures += store->insertNow() ? 0 : 1;
            QTest::qWait(500);
        }
        QVERIFY(failures > 0 && m_rows.count() >= 4 * 19);
        QVERIFY2(m_server.restart(), qPrintable(m_server.lastError()));
        sample(loggers);
        const int expected = int(m_nextSecond - first) * 4;
        QTRY_VERIFY_WITH_TIMEOUT(store->insertNow() && m_rows.count() == 0, 15000);
        QCOMPARE(count(QStringLiteral("serialno like 'R%'")), QString::number(expected));
        QCOMPARE(count(QStringLiteral("serialno like 'R%' and channel1 = 21.5")),
                 QString::number(expected));
        QSignalSpy range(store.get(), &InsertSerialData::recordedRangeRead);
        store->requestRecordedRange(loggers);
        QVERIFY(range.wait());
        QCOMPARE(range.first().mid(1),
                 QVariantList({true, qint64(first), qint64(m_nextSecond - 1)}));

        // History and export read the same rows from the server.
        HistoryDatabase history(m_server.url());
        QVERIFY2(history.open(), qPrintable(history.lastError()));
        qint64 from = 0, to = 0;
        QVERIFY(history.recordedRange({QStringLiteral("R2")}, &from, &to) && from == qint64(first));
        int scanned = 0;
        HistoryScan scan(&history, {QStringLiteral("R2")}, from, to,
                         [&](const QVector<HistoryRow> &rows) {
                             scanned += int(rows.size());
                             return true;
                         });
        QVERIFY2(scan.runToEnd(), qPrintable(scan.error()));
        QCOMPARE(scanned, expected / 4);
    }

    // The project that history, statistics and reports (the cases below too) read: two loggers,
    // the samples above, in a database the recorder's own store made (with the index the history
    // reads by); statistics, CSV text and the view of it.
    void historyProjectStatisticsCsvTextAndTheView()
    {
        m_project = m_history.projectPath(QStringLiteral("Cold"));
        ConfiguredDevice a("A1", LINK_TCP), b("B7", LINK_TCP);
        a.setConnection("Freezer 3, left", "Air", "Humidity", "127.0.0.1", 23);
        a.setUnits(1, 3);
        a.setAlarmRange(0, 5, 0, 0);
        b.setConnection("Lab \"B\"", "T", "H", "127.0.0.1", 24);
        b.setUnits(2, 0);
        QVERIFY(ProjectFile::create(m_project, QStringLiteral("Cold"), 10000) &&
                ProjectFile::saveDevices(m_project, {&a, &b}) && m_info.load(m_project));

        const auto store = openStore("tst", m_info.databasePath);
        QCOMPARE(sqlValue(m_info.databasePath, "select sql from sqlite_master where type = 'index'")
                     .toString(),
                 QStringLiteral("CREATE INDEX kestrelix_serialno_pointdate on kestrelix (serialno, "
                                "pointDate)"));
        const QSqlDatabase db = QSqlDatabase::database(store->connectionName());
        for (const Sample &s : SAMPLES)
            insert(db, s.id, T0 + s.offset, QString::fromLatin1(s.serial), s.ch1, s.ch2);

        HistoryDatabase database(m_info.databasePath);
        QVERIFY(database.open());
        HistoryStatisticsSet set;
        set.reset(m_info, {QStringLiteral("A1"), QStringLiteral("B7")}, 83.144);
        HistoryScan scan(&database, {QStringLiteral("A1"), QStringLiteral("B7")}, T0, T0 + 200,
                         [&set](const QVector<HistoryRow> &rows) { return set.consume(rows); });
        QVERIFY(scan.runToEnd());

        // Hand-computed: channel 1 of A1 is 4, 6, -1, 2, 3 (C); 6 is above 5 for one 10 s interval,
        // -1 below 0 for one; missing: one NULL and five intervals of the 60 s gap after the break.
        const auto stats = [](const ChannelStatistics &c) {
            return QVariantList{
                c.count,        c.minimum,      c.maximum, c.mean, c.missingIntervals,
                c.secondsAbove, c.secondsBelow, c.hasMkt};
        };
        const ChannelStatistics t = set.of(QStringLiteral("A1"))->channel(0);
        QCOMPARE(stats(t), QVariantList({5, -1.0, 6.0, 2.8, 6, 10, 10, true}));
        QVERIFY(std::abs(t.meanKineticTemperature - 3.120056339977509) < 1e-9);
        const ChannelStatistics h = set.of(QStringLiteral("A1"))->channel(1);
        QCOMPARE(stats(h).mid(0, 5) << h.hasMkt, QVariantList({5, 50.0, 56.0, 52.8, 6, false}));
        QCOMPARE(statisticsCells(*m_info.logger(QStringLiteral("A1")), 1, h).mid(8),
                 QStringList({"-", "-", "-"}));
        // Fahrenheit: one sample's MKT is the sample itself.
        QVERIFY(std::abs(set.of("B7")->channel(0).meanKineticTemperature - 21.5) < 1e-9);

        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        HistoryCsvWriter writer(&buffer, m_info.labels());
        QVERIFY(writer.writeHeader());
        HistoryScan csv(&database, {QStringLiteral("A1"), QStringLiteral("B7")}, T0, T0 + 30,
                        [&writer](const QVector<HistoryRow> &rows) {
                            for (const HistoryRow &r : rows)
                                writer.writeRow(r);
                            return true;
                        });
        QVERIFY(csv.runToEnd());
        QCOMPARE(
            QString::fromUtf8(buffer.data()),
            QStringLiteral(
                "time,serial number,logger name,channel 1 value,channel 1 unit,channel 2 value,"
                "channel 2 unit\r\n"
                "2023-11-14T23:13:20+01:00,A1,\"Freezer 3, left\",4,\u00B0C,50,%RH\r\n"
                "2023-11-14T23:13:30+01:00,A1,\"Freezer 3, left\",6,\u00B0C,51,%RH\r\n"
                "2023-11-14T23:13:30+01:00,B7,\"Lab \"\"B\"\"\",21.5,\u00B0F,,\r\n"
                "2023-11-14T23:13:40+01:00,A1,\"Freezer 3, left\",,\u00B0C,52,%RH\r\n"
                "2023-11-14T23:13:50+01:00,A1,\"Freezer 3, left\",-1,\u00B0C,,%RH\r\n"));

        // The view shows the range, and says when it holds nothing.
        HistoryView view(m_project);
        view.resize(1000, 700);
        view.show();
        QSignalSpy statistics(&view, &HistoryView::statisticsReady);
        view.setRange(T0, T0 + 200);
        QVERIFY(statistics.wait());
        QCOMPARE(view.selectedLoggers(), QStringList({"A1", "B7"}));
        auto *chart = view.findChild<HistoryChart *>(QStringLiteral("historyChart1"));
        QCOMPARE(chart->graphCount(), 2);
        QVERIFY(chart->graph(0)->dataCount() > 0);
        const QStringList track = chart->trackAt(chart->axisRect()->left() + 2);
        QVERIFY2(track.join(' ').contains(QStringLiteral("4.00")), qPrintable(track.join(' ')));

        view.setRange(T0 + 10000, T0 + 20000);
        QCOMPARE(view.message(), QStringLiteral("No data in this range."));
    }
    void bucketsMatchAFullScanAndTheLineBreaksAtGaps()
    {
        // Buckets at 10 s (first, last, rows, values, minimum, maximum): 0-10 holds a NULL
        // channel-1 row, 20, 30, then 100 after a gap.
        const QVector<HistoryPoint> line = historyLine({{0, 10, 2, {1}, {1}, {1}},
                                                        {20, 20, 1, {1}, {2}, {2}},
                                                        {30, 30, 1, {1}, {3}, {3}},
                                                        {100, 100, 1, {1}, {4}, {4}}},
                                                       0, 10);
        QString values; // NaN after the bucket with a row without value and 70 s without rows
        for (const HistoryPoint &p : line)
            values += QString::number(p.value) + ' ';
        QCOMPARE(values, QStringLiteral("1 nan 2 3 nan 4 "));

        const QString file = path(QStringLiteral("big.dat"));
        const auto store = openStore("big", file);
        const QSqlDatabase db = QSqlDatabase::database(store->connectionName());
        QRandomGenerator random(17);
        const auto fill = [&](qint64 from, qint64 to) {
            QSqlDatabase(db).transaction();
            for (qint64 t = from; t < to; t += 10) {
                if ((t / 3000) % 7 == 3)
                    continue;
                const double v = random.bounded(1000) / 10.0 - 50;
                insert(db, 0, t, QStringLiteral("S"), random.bounded(50) == 0 ? NAN : v, v / 2);
            }
            QSqlDatabase(db).commit();
        };
        fill(T0, T0 + 3 * 86400);

        HistoryDatabase database(file);
        QVERIFY(database.open());
        HistorySummary summary(&database, path(QStringLiteral("summary.sqlite")));
        QVERIFY(summary.open() && QTest::qWaitFor([&] { return summary.catchUp(5000); }));
        // Recording goes on: new rows are folded in on the next look.
        fill(T0 + 3 * 86400, T0 + 4 * 86400);
        QVERIFY(!summary.catchUp(1) && QTest::qWaitFor([&] { return summary.catchUp(5000); }));

        // Aligned on whole hours the summary's columns hold exactly the rows of the range.
        const qint64 from = T0 + 2800, to = from + 95 * 3600 - 1;
        const QVariantList full = sqlRows(file,
                                          "select min(channel1), max(channel1), min(channel2), "
                                          "max(channel2), count(*), count(channel1) from "
                                          "kestrelix where pointDate between ? and ?",
                                          {from, to})
                                      .value(0);
        for (int columns : {20, 200, 100000}) {
            HistoryQuery query(&database, &summary);
            const QVector<HistoryBucket> buckets =
                query.buckets(QStringLiteral("S"), from, to, columns);
            QCOMPARE(query.lastUsedSummary(), columns <= 200);
            QVERIFY(buckets.size() <= columns);
            QVariantList folded = {INFINITY, -INFINITY, INFINITY, -INFINITY, 0LL, 0LL};
            for (const HistoryBucket &b : buckets) {
                folded = {qMin(folded[0].toDouble(), b.minimum[0]),
                          qMax(folded[1].toDouble(), b.maximum[0]),
                          qMin(folded[2].toDouble(), b.minimum[1]),
                          qMax(folded[3].toDouble(), b.maximum[1]),
                          folded[4].toLongLong() + b.count,
                          folded[5].toLongLong() + b.valueCount[0]};
                QVERIFY(b.firstTime <= b.lastTime);
            }
            for (int i = 0; i < 6; ++i)
                QCOMPARE(folded[i].toDouble(), full.value(i).toDouble());
        }
    }
    void commandLine_data()
    {
        QTest::addColumn<QString>("arguments"); // %1: the project
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("lines"); // of the file written, -1 for none
        QTest::newRow("whole range, one logger") << "%1 --logger B7" << 0 << 2;
        QTest::newRow("from with offset") << "%1 --from 2023-11-14T22:15:00Z" << 0 << 3;
        QTest::newRow("local to") << "%1 --to 2023-11-14T23:13:30" << 0 << 4;
        QTest::newRow("empty range (a date)") << "%1 --from 2030-01-01" << 0 << 1;
        QTest::newRow("missing project") << "/nonexistent/none.tpc" << 2 << -1;
        QTest::newRow("bad time") << "%1 --from yesterday" << 2 << -1;
        QTest::newRow("unknown option") << "%1 --colour red" << 2 << -1;
        QTest::newRow("both kinds") << "%1 --report-pdf %1" << 2 << -1;
    }
    void commandLine()
    {
        QFETCH(QString, arguments);
        QFETCH(int, exitCode);
        QFETCH(int, lines);
        const QString out = m_history.filePath(QStringLiteral("out.csv"));
        QFile::remove(out);
        int code = -2;
        const QString err = runProgram(
            ("--export-csv " + arguments.arg(m_project) + " -o " + out).split(' '), &code);
        QVERIFY2(code == exitCode, qPrintable(err));
        // Errors and an empty range are told on stderr.
        QCOMPARE(!err.isEmpty(), lines < 2);
        QFile file(out);
        QCOMPARE(file.open(QIODevice::ReadOnly), lines >= 0);
        QCOMPARE(int(file.readAll().count('\n')), qMax(lines, 0));
    }
    void pdfReport()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        const QString pdf = m_history.filePath(QStringLiteral("report.pdf"));
        int code = -2;
        const QString err = runProgram({"--report-pdf", m_project, "-o", pdf}, &code);
        QCOMPARE(code, 0);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QProcess info, text;
        info.start(QStringLiteral("pdfinfo"), {pdf});
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, "-"});
        QVERIFY(info.waitForFinished() && text.waitForFinished() &&
                info.readAllStandardOutput().contains("Pages:           2"));
        const QString content = QString::fromUtf8(text.readAllStandardOutput());
        for (const char *expected :
             {"History report: Cold", "Range: 2023-11-14 23:13:20 to 2023-11-14 23:15:10",
              "Freezer 3, left (A1)", "Statistics", "2.80", "3.12", "00:00:10",
              "No alarm events in this range."})
            QVERIFY2(content.contains(QString::fromUtf8(expected)), expected);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestStore test;
    QTEST_SET_MAIN_SOURCE_PATH
    const int failed = QTest::qExec(&test, argc, argv);
    // Where no PostgreSQL server can run, ctest shows the suite skipped, not passed.
    return failed == 0 && !PgTestServer::missingReason().isEmpty() ? 77 : failed;
}
#include "tst_store.moc"

#include "device/devicetypes.h"
#include "store/eventcsvwriter.h"
#include "store/insertserialdata.h"
#include "store/pendingeventqueue.h"
#include "store/pendingrowqueue.h"

#include <QBuffer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

// The queue a recording's owner keeps and hands to its store.
PendingRowQueue &pending()
{
    static PendingRowQueue rows(PendingRowQueue::DEFAULT_LIMIT);
    return rows;
}

void queue(const QString &serial, double ch1, double ch2, quint32 time)
{
    pending().append(SerialDataRow{serial, ch1, ch2, time});
}

PendingEventQueue &pendingEvents()
{
    static PendingEventQueue events;
    return events;
}

void queueEvent(const QString &kind, double value, quint32 time, const QString &text = {})
{
    pendingEvents().append(EventRow{time, QStringLiteral("S"), 1, kind, value, 0, 30, text});
}

// A second connection on the same file, as a sibling program would open it.
class Observer
{
public:
    explicit Observer(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "observer");
        db.setDatabaseName(path);
        db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=2000");
        m_bOpen = db.open();
    }
    ~Observer()
    {
        QSqlDatabase::database("observer", false).close();
        QSqlDatabase::removeDatabase("observer");
    }
    bool isOpen() const { return m_bOpen; }
    bool exec(const QString &statement)
    {
        return QSqlQuery(QSqlDatabase::database("observer")).exec(statement);
    }
    QVariant scalar(const QString &statement) { return rows(statement).value(0).value(0); }
    QList<QVariantList> rows(const QString &statement)
    {
        QList<QVariantList> result;
        QSqlQuery query(QSqlDatabase::database("observer"));
        query.exec(statement);
        while (query.next()) {
            QVariantList values;
            for (int i = 0; i < query.record().count(); ++i)
                values.append(query.value(i));
            result.append(values);
        }
        return result;
    }

private:
    bool m_bOpen = false;
};

} // namespace

class TestInsertSerialData : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;

    QString dbPath() const { return m_dir->filePath("Line1.dat"); }
    std::unique_ptr<InsertSerialData> openStore(const QString &prefix = "tst")
    {
        auto store = std::make_unique<InsertSerialData>(dbPath(), prefix);
        store->setRowQueue(&pending());
        store->setEventQueue(&pendingEvents());
        return store->createConnection() ? std::move(store) : nullptr;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        pending().clear();
        pendingEvents().clear();
    }
    void cleanup()
    {
        pending().clear();
        pendingEvents().clear();
        pending().setLimit(PendingRowQueue::DEFAULT_LIMIT);
        m_dir.reset();
    }

    void newDatabaseGetsTheTableTheSiblingProgramsRead()
    {
        QVERIFY(openStore());
        Observer observer(dbPath());
        QCOMPARE(observer.scalar("select sql from sqlite_master where name='kestrelix'").toString(),
                 QStringLiteral("CREATE TABLE kestrelix (\t\tid integer primary key autoincrement,"
                                "\t\tserialno varchar(18) not null, \t\tchannel1 float, channel2 "
                                "float, \t\tpointDate integer not null\t\t)"));
    }

    void batchStoresSixDigitValuesAndNullForNoValueOrNonFinite()
    {
        auto store = openStore();
        QVERIFY(store);
        queue("A1", 21.5, 40.2, 1700000000);
        queue("B7", NO_VALUE, NO_VALUE, 1700000000);
        queue("A1", 123.4567, 1234567, 1700000001);
        queue("A1", -0.000123456789, 21, 1700000002);
        queue("C3", qInf(), qQNaN(), 1700000003);
        QVERIFY(store->insertNow());
        QCOMPARE(pending().count(), 0);
        QCOMPARE(store->totalRow(), 5);

        Observer observer(dbPath());
        const auto rows = observer.rows("select serialno, channel1, channel2, pointDate, "
                                        "typeof(channel1), typeof(channel2), typeof(pointDate) "
                                        "from kestrelix order by serialno, pointDate");
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[0],
                 (QVariantList{"A1", 21.5, 40.2, 1700000000LL, "real", "real", "integer"}));
        QCOMPARE(rows[1].mid(1, 3), (QVariantList{123.457, 1.23457e+06, 1700000001LL}));
        QCOMPARE(rows[2].mid(1, 2), (QVariantList{-0.000123457, 21.0}));
        QCOMPARE(rows[2][5].toString(), QStringLiteral("real"));
        for (int i : {3, 4}) {
            QVERIFY(rows[i][1].isNull());
            QVERIFY(rows[i][2].isNull());
        }
        QCOMPARE(rows[3][0].toString(), QStringLiteral("B7"));
        QCOMPARE(rows[3][3].toLongLong(), 1700000000LL);
        QCOMPARE(rows[4][3].toLongLong(), 1700000003LL);
    }

    void consecutiveBatchesOfOneSizeStoreTheirOwnRows()
    {
        auto store = openStore();
        QVERIFY(store);
        for (quint32 batch = 0; batch < 3; ++batch) {
            queue("A1", batch, NO_VALUE, 100 + batch);
            queue("B2", NO_VALUE, batch * 2.0, 100 + batch);
            QVERIFY(store->insertNow());
        }
        Observer observer(dbPath());
        const auto rows = observer.rows("select serialno, channel1, channel2, pointDate from "
                                        "kestrelix order by pointDate, serialno");
        QCOMPARE(rows.size(), 6);
        for (int batch = 0; batch < 3; ++batch) {
            const QVariantList &a = rows.at(2 * batch);
            const QVariantList &b = rows.at(2 * batch + 1);
            QCOMPARE(a.mid(0, 2), (QVariantList{"A1", double(batch)}));
            QVERIFY(a.at(2).isNull());
            QCOMPARE(b.at(0).toString(), QStringLiteral("B2"));
            QVERIFY(b.at(1).isNull());
            QCOMPARE(b.mid(2), (QVariantList{batch * 2.0, 100 + batch}));
        }
    }

    // The sibling programs read what a statement with the numbers written out stores.
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
        values << 0.0 << -0.0 << 1e300 << -2.5e-300 << 99999.95 << 0.1 + 0.2;
        for (int i = 0; i < values.size(); ++i)
            queue("V", values[i], values[i], quint32(i));
        while (pending().count() > 0)
            QVERIFY(store->insertNow());

        Observer observer(dbPath());
        QVERIFY(observer.exec("create table literal (pointDate integer, channel1 float)"));
        for (int first = 0; first < values.size(); first += 400) {
            QString text = "insert into literal (pointDate, channel1)";
            for (int i = first; i < std::min<int>(first + 400, int(values.size())); ++i)
                text += QString(i > first ? " union select " : " select ") + QString::number(i) +
                        ", " + QString::number(values[i], 'g', 6);
            QVERIFY(observer.exec(text + ';'));
        }
        QCOMPARE(observer.scalar("select count(*) from literal").toInt(), int(values.size()));
        QCOMPARE(observer
                     .scalar("select count(*) from kestrelix k join literal l using (pointDate) "
                             "where k.channel1 is l.channel1 and typeof(k.channel1) = "
                             "typeof(l.channel1)")
                     .toInt(),
                 int(values.size()));
    }

    void identicalRowsOfOneBatchAreStoredOnceEvenAcrossItsStatements()
    {
        auto store = openStore();
        QVERIFY(store);
        queue("A1", 21.5, 40.2, 100);
        queue("A1", 21.5, 40.2, 100);
        queue("A1", 21.50001, 40.2, 100); // same 6-digit text
        queue("A1", NO_VALUE, NO_VALUE, 101);
        queue("A1", NO_VALUE, NO_VALUE, 101);
        queue("A2", 21.5, 40.2, 100);
        for (int i = 0; i < 700; ++i)
            queue("S", i, i, quint32(i));
        queue("S", 3, 3, 3);
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 703);
    }

    void emptyQueueWritesNothingAndADroppedTableReportsFailure()
    {
        auto store = openStore();
        QVERIFY(store);
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 0);
        QCOMPARE(store->startDateTime(), 0u);
        QCOMPARE(store->endDateTime(), 0u);
        QVERIFY(store->deleteTable());
        QVERIFY(!store->deleteTable());
        QCOMPARE(store->totalRow(), -1);
        QCOMPARE(store->startDateTime(), 0u);
        QCOMPARE(store->endDateTime(), 0u);
    }

    void eventsAreCommittedWithTheSamplesWhateverTheEventTable_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<int>("events");
        QTest::addColumn<int>("failures");
        QTest::newRow("new") << QString() << 2 << 0;
        QTest::newRow("newer version, more columns")
            << "create table kestrelix_event (id integer primary key autoincrement, pointDate "
               "integer not null, serialno text, channel integer not null default 0, kind text "
               "not null, value float, lowerLimit float, upperLimit float, text text, ackDate "
               "integer, ackBy text, site text default 'north')"
            << 2 << 0;
        QTest::newRow("columns missing") << "create table kestrelix_event (id integer)" << -1 << 1;
        QTest::newRow("a view in its place")
            << "create view kestrelix_event as select 1 as id" << -1 << 1;
    }
    void eventsAreCommittedWithTheSamplesWhateverTheEventTable()
    {
        QFETCH(QString, existing);
        QFETCH(int, events);
        QFETCH(int, failures);
        if (!existing.isEmpty()) {
            Observer observer(dbPath());
            QVERIFY(observer.exec(existing));
        }
        auto store = openStore();
        QVERIFY(store);
        QSignalSpy failed(store.get(), &InsertSerialData::eventLogFailed);
        for (quint32 time = 100; time < 102; ++time) {
            queue("S", 31, 1, time);
            queueEvent("alarm started", 31, time);
            QVERIFY(store->insertNow());
        }
        QCOMPARE(store->totalRow(), 2);
        QCOMPARE(failed.count(), failures);
        QCOMPARE(pendingEvents().count(), 0);
        Observer observer(dbPath());
        QCOMPARE(observer
                     .scalar("select count(*) from kestrelix_event where kind = 'alarm "
                             "started' and value = 31")
                     .toInt(),
                 events < 0 ? 0 : events);
    }

    void acknowledgementOutlivesTheStoreAndTheExportQuotesAndDatesEveryField()
    {
        {
            auto store = openStore();
            QVERIFY(store);
            queueEvent("alarm started", 31.5, 1700000000, "Cold room, \"north\"");
            queueEvent("alarm ended", 25, 1700000060);
            QVERIFY(store->insertNow());
            QCOMPARE(store->unacknowledgedAlarms(), 1);
            QSqlDatabase db = QSqlDatabase::database(store->connectionName());
            QCOMPARE(EventTable::acknowledge(db, 0, "night shift", 1700000100), 1);
            QCOMPARE(EventTable::acknowledge(db, 0, "someone else", 1700000200), 0);
        }
        auto store = openStore();
        QVERIFY(store);
        QCOMPARE(store->unacknowledgedAlarms(), 0);
        QSqlDatabase db = QSqlDatabase::database(store->connectionName());
        const QList<EventRecord> records = EventTable::read(db, EventFilter(), 10, 0);
        QCOMPARE(records.size(), 2);
        QCOMPARE(records.at(1).ackBy, QStringLiteral("night shift"));
        QCOMPARE(records.at(1).ackDate, 1700000100);

        QBuffer csv;
        csv.open(QIODevice::WriteOnly);
        EventFilter range;
        range.from = 1700000000;
        range.to = 1700000059;
        int written = 0;
        QVERIFY(EventCsvWriter(&csv, {{"S", "Room 1"}}).writeAll(db, range, &written));
        QCOMPARE(written, 1);
        const QList<QByteArray> lines = csv.data().split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(0).startsWith("time,serial number,logger name,channel,kind"));
        QVERIFY(lines.at(1).endsWith("\r"));
        QVERIFY2(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d,S,Room 1,1,)"
                                    R"(alarm started,31.5,0,30,"Cold room, ""north""",)"
                                    R"(\d{4}-.*[+-]\d\d:\d\d,night shift\r$)")
                     .match(QString::fromUtf8(lines.at(1)))
                     .hasMatch(),
                 lines.at(1).constData());
    }

    void queuedRowsOutliveStoresAndJoinTheEarlierRowsOfTheFile()
    {
        {
            auto store = openStore();
            QVERIFY(store);
            queue("A1", 1, 2, 9);
            QVERIFY(store->insertNow());
            queue("A1", 1, 2, 10);
        }
        QCOMPARE(pending().count(), 1);
        {
            InsertSerialData unconnected(dbPath(), "idle");
            unconnected.setRowQueue(&pending());
            QVERIFY(!unconnected.isConnected());
            QVERIFY(!unconnected.insertNow());
        }
        QCOMPARE(pending().count(), 1);
        queue("A1", 1, 2, 11);
        auto store = openStore("again");
        QVERIFY(store);
        QVERIFY(store->insertNow());
        QCOMPARE(pending().count(), 0);
        QCOMPARE(store->totalRow(), 3);
        QCOMPARE(store->startDateTime(), 9u);
        QCOMPARE(store->endDateTime(), 11u);
    }

    void aStoreWritesOnlyTheQueueHandedToIt()
    {
        auto store = openStore();
        QVERIFY(store);
        PendingRowQueue other;
        other.append(SerialDataRow{"B1", 1, 2, 5});
        queue("A1", 1, 2, 4);
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 1);
        QCOMPARE(other.count(), 1);
        store->setRowQueue(&other);
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 2);
        store->setRowQueue(nullptr);
        queue("A1", 1, 2, 6);
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 2);
        QCOMPARE(pending().count(), 1);
    }

    void secondCreateConnectionReusesTheRegisteredConnection()
    {
        auto first = openStore("same");
        QVERIFY(first);
        QVERIFY(first->deleteTable());
        InsertSerialData second(dbPath(), "same");
        QVERIFY(second.createConnection());
        QVERIFY(second.isConnected());
        // No preparation ran again: the dropped table was not recreated.
        QCOMPARE(second.totalRow(), -1);
    }

    void largeQueueIsWrittenWhole_data()
    {
        QTest::addColumn<int>("rows");
        for (int rows : {400, 401, 600, InsertSerialData::ROWS_PER_FLUSH})
            QTest::addRow("%d rows", rows) << rows;
    }
    void largeQueueIsWrittenWhole()
    {
        QFETCH(int, rows);
        auto store = openStore();
        QVERIFY(store);
        for (int i = 0; i < rows; ++i)
            queue(QStringLiteral("S%1").arg(i % 64), i * 0.5, NO_VALUE,
                  quint32(1700000000 + i / 64));
        QVERIFY(store->insertNow());
        QCOMPARE(pending().count(), 0);
        QCOMPARE(store->totalRow(), rows);
    }

    void failedBatchStaysQueuedAndIsWrittenByTheNextFlush()
    {
        auto store = openStore();
        QVERIFY(store);
        queue("A1", 1, 2, 10);
        QVERIFY(store->insertNow());

        Observer observer(dbPath());
        QVERIFY(observer.isOpen());
        QVERIFY(observer.exec("BEGIN EXCLUSIVE"));
        for (int i = 0; i < 20; ++i)
            queue("A1", i, 2, quint32(20 + i));
        for (int attempt = 0; attempt < 2; ++attempt) {
            QVERIFY(!store->insertNow());
            QVERIFY(!store->lastError().isEmpty());
            QCOMPARE(pending().count(), 20);
        }
        QVERIFY(observer.exec("COMMIT"));

        queue("A1", 99, 2, 99);
        QVERIFY(store->insertNow());
        QVERIFY(store->lastError().isEmpty());
        QCOMPARE(pending().count(), 0);
        QCOMPARE(store->totalRow(), 22);
        QCOMPARE(observer.scalar("select count(distinct pointDate) from kestrelix").toInt(), 22);
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
        QCOMPARE(pending().count(), 0);
        QCOMPARE(store->totalRow(), 698);
        queue("S1", 1, 2, 1700001000);
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 699);
    }

    void aLongQueueIsWrittenOneBoundedSliceAtATime()
    {
        auto store = openStore();
        QVERIFY(store);
        const int slice = InsertSerialData::ROWS_PER_FLUSH;
        for (int i = 0; i < 2 * slice + 5; ++i)
            queue(QStringLiteral("S%1").arg(i % 64), i, NO_VALUE, quint32(1700000000 + i / 64));
        for (int left : {slice + 5, 5, 0}) {
            QVERIFY(store->insertNow());
            QCOMPARE(pending().count(), left);
            QCOMPARE(store->totalRow(), 2 * slice + 5 - left);
        }
    }

    void serialNumberIsStoredExactlyAsItIs_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::newRow("quote") << "O'Brien";
        QTest::newRow("drop table") << "'); drop table kestrelix; --";
        QTest::newRow("extra row") << "x', 1, 2, 3 union select 'y";
        QTest::newRow("non-latin") << QStringLiteral("KX\u00e9\u4e2d0001");
    }
    void serialNumberIsStoredExactlyAsItIs()
    {
        QFETCH(QString, serial);
        auto store = openStore();
        QVERIFY(store);
        queue(serial, 1, 2, 10);
        queue("A1", 3, 4, 10);
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 2);
        Observer observer(dbPath());
        QCOMPARE(observer.scalar("select serialno from kestrelix where channel1 = 1").toString(),
                 serial);
    }

    void crashSafeJournalIsActiveAfterCreateConnection()
    {
        auto store = openStore();
        QVERIFY(store);
        QCOMPARE(store->journalMode(), QStringLiteral("wal"));
        QSqlQuery query(QSqlDatabase::database(store->connectionName()));
        const auto pragma = [&query](const char *name) {
            return query.exec(QStringLiteral("PRAGMA ") + name) && query.next()
                       ? query.value(0).toString()
                       : QString();
        };
        QCOMPARE(pragma("journal_mode"), QStringLiteral("wal"));
        QCOMPARE(pragma("synchronous"), QStringLiteral("1"));
        QCOMPARE(pragma("page_size"), QStringLiteral("4096"));
        QCOMPARE(pragma("cache_size"), QStringLiteral("65536"));
    }

    // Until a checkpoint the rows live in the "-wal" file; the size shown while recording and
    // the size limit count both files.
    void sizeCountsTheWriteAheadLog()
    {
        auto store = openStore();
        QVERIFY(store);
        for (quint32 i = 0; i < 200; ++i)
            queue("KX0001", i, -double(i), 1700000000 + i);
        QVERIFY(store->insertNow());
        const qint64 main = QFileInfo(dbPath()).size();
        const qint64 wal = QFileInfo(dbPath() + "-wal").size();
        QVERIFY(wal > 0);
        QCOMPARE(InsertSerialData::databaseFileSize(dbPath()), main + wal);
        QCOMPARE(InsertSerialData::databaseFileSize(m_dir->filePath("none.dat")), 0);
    }

    // WAL cannot be switched on while another program reads the file in rollback mode.
    void rollbackJournalIsUsedWhereWalCannotBeHad()
    {
        Observer observer(dbPath());
        QVERIFY(observer.isOpen());
        QVERIFY(observer.exec(
            "create table kestrelix (id integer primary key autoincrement, serialno varchar(18) "
            "not null, channel1 float, channel2 float, pointDate integer not null)"));
        QVERIFY(observer.exec("BEGIN"));
        QCOMPARE(observer.scalar("select count(*) from kestrelix").toInt(), 0);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("PRAGMA journal_mode = WAL"));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("\\[ERROR\\] WAL journal not available"));
        auto store = openStore();
        QVERIFY(store);
        QCOMPARE(store->journalMode(), QStringLiteral("delete"));
        QVERIFY(observer.exec("COMMIT"));

        queue("A1", 1, 2, 10);
        QVERIFY(store->insertNow());
        QCOMPARE(observer.scalar("select count(*) from kestrelix").toInt(), 1);
        QCOMPARE(observer.scalar("PRAGMA journal_mode").toString(), QStringLiteral("delete"));
    }

    void destroyedStoreReleasesItsConnectionWithoutWarning()
    {
        QTest::failOnWarning(QRegularExpression("still in use"));
        auto store = openStore();
        QVERIFY(store);
        const QString name = store->connectionName();
        queue("A1", 1, 2, 10);
        QVERIFY(store->insertNow());
        store.reset();
        QVERIFY(!QSqlDatabase::contains(name));
        Observer observer(dbPath());
        QCOMPARE(observer.scalar("select count(*) from kestrelix").toInt(), 1);
    }

    void fullQueueDropsTheOldestRowsAndCountsThem()
    {
        pending().setLimit(10);
        const qint64 droppedBefore = pending().droppedRowCount();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\[ERROR\\] more than 10 rows"));
        for (int i = 0; i < 15; ++i)
            queue("A1", i, i, quint32(i));
        QCOMPARE(pending().count(), 10);
        QCOMPARE(pending().droppedRowCount() - droppedBefore, 5);

        auto store = openStore();
        QVERIFY(store);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\[ERROR\\] 5 rows were dropped"));
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 10);
        QCOMPARE(store->startDateTime(), 5u);
        QCOMPARE(store->endDateTime(), 14u);
    }
};

QTEST_GUILESS_MAIN(TestInsertSerialData)
#include "tst_insertserialdata.moc"

#include "device/devicetypes.h"
#include "store/insertserialdata.h"
#include "store/pendingrowqueue.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

const QString OBSERVER = QStringLiteral("observer");

SerialDataRow row(const QString &serial, double ch1, double ch2, quint32 time)
{
    return SerialDataRow{serial, ch1, ch2, time};
}

// A second connection on the same file, as a sibling program would open it.
class Observer
{
public:
    explicit Observer(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), OBSERVER);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
        m_bOpen = db.open();
    }
    ~Observer()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(OBSERVER, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(OBSERVER);
    }
    bool isOpen() const { return m_bOpen; }
    bool exec(const QString &statement)
    {
        QSqlQuery query(QSqlDatabase::database(OBSERVER));
        return query.exec(statement);
    }
    QVariant scalar(const QString &statement)
    {
        QSqlQuery query(QSqlDatabase::database(OBSERVER));
        if (!query.exec(statement) || !query.next()) {
            return QVariant();
        }
        return query.value(0);
    }
    QList<QVariantList> rows(const QString &statement)
    {
        QList<QVariantList> result;
        QSqlQuery query(QSqlDatabase::database(OBSERVER));
        if (!query.exec(statement)) {
            return result;
        }
        while (query.next()) {
            QVariantList values;
            for (int i = 0; i < query.record().count(); ++i) {
                values.append(query.value(i));
            }
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
    QString dbPath() const { return m_dir->filePath(QStringLiteral("Line1.dat")); }
    std::unique_ptr<InsertSerialData> openStore(const QString &prefix = QStringLiteral("tst"))
    {
        auto store = std::make_unique<InsertSerialData>(dbPath(), prefix);
        if (!store->createConnection()) {
            return nullptr;
        }
        return store;
    }

    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        InsertSerialData::clearPendingRows();
    }
    void cleanup()
    {
        InsertSerialData::clearPendingRows();
        InsertSerialData::setPendingRowLimit(PendingRowQueue::DEFAULT_LIMIT);
        m_dir.reset();
    }

    void queueHoldsADayOf64LoggersAtOneSecondBeforeDroppingRows()
    {
        QCOMPARE(PendingRowQueue::instance().limit(), 5529600);
    }

    void newDatabaseGetsTheTableTheSiblingProgramsRead()
    {
        auto store = openStore();
        QVERIFY(store);
        QVERIFY(store->isConnected());
        store.reset();
        Observer observer(dbPath());
        QCOMPARE(observer.scalar("select sql from sqlite_master where name='kestrelix'").toString(),
                 QStringLiteral("CREATE TABLE kestrelix (\t\tid integer primary key autoincrement,"
                                "\t\tserialno varchar(18) not null, \t\tchannel1 float, channel2 "
                                "float, \t\tpointDate integer not null\t\t)"));
    }

    void batchStoresEveryRowWithNullForNoValue()
    {
        auto store = openStore();
        QVERIFY(store);
        InsertSerialData::appendRow(row("A1", 21.5, 40.2, 1700000000));
        InsertSerialData::appendRow(row("B7", NO_VALUE, NO_VALUE, 1700000000));
        InsertSerialData::appendRow(row("A1", 21.6, 40.1, 1700000001));
        QVERIFY(store->insertNow());
        QCOMPARE(InsertSerialData::pendingRowCount(), 0);
        QCOMPARE(store->totalRow(), 3);

        Observer observer(dbPath());
        const auto rows = observer.rows(
            "select serialno, channel1, channel2, pointDate, typeof(channel1), typeof(pointDate) "
            "from kestrelix order by serialno, pointDate");
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0][0].toString(), QStringLiteral("A1"));
        QCOMPARE(rows[0][1].toDouble(), 21.5);
        QCOMPARE(rows[0][2].toDouble(), 40.2);
        QCOMPARE(rows[0][3].toLongLong(), 1700000000LL);
        QCOMPARE(rows[0][4].toString(), QStringLiteral("real"));
        QCOMPARE(rows[0][5].toString(), QStringLiteral("integer"));
        QCOMPARE(rows[1][1].toDouble(), 21.6);
        QCOMPARE(rows[2][0].toString(), QStringLiteral("B7"));
        QVERIFY(rows[2][1].isNull());
        QVERIFY(rows[2][2].isNull());
        QCOMPARE(rows[2][3].toLongLong(), 1700000000LL);
    }

    void consecutiveBatchesOfOneSizeStoreTheirOwnRows()
    {
        auto store = openStore();
        QVERIFY(store);
        for (quint32 batch = 0; batch < 3; ++batch) {
            InsertSerialData::appendRow(row("A1", batch, NO_VALUE, 100 + batch));
            InsertSerialData::appendRow(row("B2", NO_VALUE, batch * 2.0, 100 + batch));
            QVERIFY(store->insertNow());
        }
        Observer observer(dbPath());
        const auto rows = observer.rows("select serialno, channel1, channel2, pointDate from "
                                        "kestrelix order by pointDate, serialno");
        QCOMPARE(rows.size(), 6);
        for (int batch = 0; batch < 3; ++batch) {
            const QVariantList &a = rows.at(2 * batch);
            const QVariantList &b = rows.at(2 * batch + 1);
            QCOMPARE(a.at(0).toString(), QStringLiteral("A1"));
            QCOMPARE(a.at(1).toDouble(), double(batch));
            QVERIFY(a.at(2).isNull());
            QCOMPARE(b.at(0).toString(), QStringLiteral("B2"));
            QVERIFY(b.at(1).isNull());
            QCOMPARE(b.at(2).toDouble(), batch * 2.0);
            QCOMPARE(b.at(3).toInt(), 100 + batch);
        }
    }

    void valuesAreStoredWithSixSignificantDigits()
    {
        auto store = openStore();
        QVERIFY(store);
        InsertSerialData::appendRow(row("A1", 123.4567, 1234567, 1));
        InsertSerialData::appendRow(row("A1", -0.000123456789, 21, 2));
        QVERIFY(store->insertNow());
        Observer observer(dbPath());
        const auto rows = observer.rows(
            "select channel1, channel2, typeof(channel2) from kestrelix order by pointDate");
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0][0].toDouble(), 123.457);
        QCOMPARE(rows[0][1].toDouble(), 1.23457e+06);
        QCOMPARE(rows[1][0].toDouble(), -0.000123457);
        QCOMPARE(rows[1][1].toDouble(), 21.0);
        QCOMPARE(rows[1][2].toString(), QStringLiteral("real"));
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
        for (int i = 0; i < values.size(); ++i) {
            InsertSerialData::appendRow(row("V", values[i], values[i], quint32(i)));
        }
        QVERIFY(store->insertNow());

        Observer observer(dbPath());
        QVERIFY(observer.exec("create table literal (pointDate integer, channel1 float)"));
        for (int first = 0; first < values.size(); first += 400) {
            QString text = QStringLiteral("insert into literal (pointDate, channel1)");
            for (int i = first; i < std::min<int>(first + 400, int(values.size())); ++i) {
                text +=
                    (i > first ? QStringLiteral(" union select ") : QStringLiteral(" select ")) +
                    QString::number(i) + ", " + QString::number(values[i], 'g', 6);
            }
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

    void nonFiniteValuesAreStoredAsNoValue()
    {
        auto store = openStore();
        QVERIFY(store);
        InsertSerialData::appendRow(row("A1", qInf(), qQNaN(), 5));
        QVERIFY(store->insertNow());
        Observer observer(dbPath());
        QCOMPARE(observer
                     .scalar("select count(*) from kestrelix where channel1 is null and "
                             "channel2 is null and pointDate = 5")
                     .toInt(),
                 1);
    }

    void identicalRowsOfOneBatchAreStoredOnce()
    {
        auto store = openStore();
        QVERIFY(store);
        InsertSerialData::appendRow(row("A1", 21.5, 40.2, 100));
        InsertSerialData::appendRow(row("A1", 21.5, 40.2, 100));
        InsertSerialData::appendRow(row("A1", 21.50001, 40.2, 100)); // same 6-digit text
        InsertSerialData::appendRow(row("A1", NO_VALUE, NO_VALUE, 101));
        InsertSerialData::appendRow(row("A1", NO_VALUE, NO_VALUE, 101));
        InsertSerialData::appendRow(row("A2", 21.5, 40.2, 100));
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 3);
    }

    void emptyQueueWritesNothing()
    {
        auto store = openStore();
        QVERIFY(store);
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 0);
        QCOMPARE(store->startDateTime(), 0u);
        QCOMPARE(store->endDateTime(), 0u);
    }

    void rowsQueuedWithoutConnectedStoreAreWrittenByTheNextConnectedFlush()
    {
        InsertSerialData::appendRow(row("A1", 1, 2, 10));
        {
            InsertSerialData unconnected(dbPath(), QStringLiteral("idle"));
            QVERIFY(!unconnected.isConnected());
            QVERIFY(!unconnected.insertNow());
        }
        QCOMPARE(InsertSerialData::pendingRowCount(), 1);
        InsertSerialData::appendRow(row("A1", 1, 2, 11));
        auto store = openStore();
        QVERIFY(store);
        QVERIFY(store->insertNow());
        QCOMPARE(InsertSerialData::pendingRowCount(), 0);
        QCOMPARE(store->totalRow(), 2);
        QCOMPARE(store->startDateTime(), 10u);
        QCOMPARE(store->endDateTime(), 11u);
    }

    void pendingRowsOutliveTheStore()
    {
        {
            auto store = openStore();
            QVERIFY(store);
            InsertSerialData::appendRow(row("A1", 1, 2, 10));
        }
        QCOMPARE(InsertSerialData::pendingRowCount(), 1);
    }

    void secondCreateConnectionReusesTheRegisteredConnection()
    {
        auto first = openStore(QStringLiteral("same"));
        QVERIFY(first);
        QVERIFY(first->deleteTable());
        InsertSerialData second(dbPath(), QStringLiteral("same"));
        QVERIFY(second.createConnection());
        QVERIFY(second.isConnected());
        // No preparation ran again: the dropped table was not recreated.
        QCOMPARE(second.totalRow(), -1);
    }

    void reopenedDatabaseKeepsEarlierRows()
    {
        {
            auto store = openStore();
            QVERIFY(store);
            InsertSerialData::appendRow(row("A1", 1, 2, 10));
            QVERIFY(store->insertNow());
        }
        auto store = openStore(QStringLiteral("again"));
        QVERIFY(store);
        InsertSerialData::appendRow(row("A1", 1, 2, 11));
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 2);
    }

    void largeQueueIsWrittenWhole_data()
    {
        QTest::addColumn<int>("rows");
        QTest::newRow("one statement") << 400;
        QTest::newRow("just over one statement") << 401;
        QTest::newRow("600 rows") << 600;
        QTest::newRow("1200 rows") << 1200;
    }
    void largeQueueIsWrittenWhole()
    {
        QFETCH(int, rows);
        auto store = openStore();
        QVERIFY(store);
        for (int i = 0; i < rows; ++i) {
            InsertSerialData::appendRow(row(QStringLiteral("S%1").arg(i % 64), i * 0.5, NO_VALUE,
                                            quint32(1700000000 + i / 64)));
        }
        QVERIFY(store->insertNow());
        QCOMPARE(InsertSerialData::pendingRowCount(), 0);
        QCOMPARE(store->totalRow(), rows);
    }

    void rowRepeatedInAnotherStatementOfTheSameBatchIsStoredOnce()
    {
        auto store = openStore();
        QVERIFY(store);
        for (int i = 0; i < 900; ++i) {
            InsertSerialData::appendRow(row("S", i, i, quint32(i)));
        }
        InsertSerialData::appendRow(row("S", 3, 3, 3));
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 900);
    }

    void failedBatchStaysQueuedAndIsWrittenByTheNextFlush()
    {
        auto store = openStore();
        QVERIFY(store);
        InsertSerialData::appendRow(row("A1", 1, 2, 10));
        QVERIFY(store->insertNow());

        Observer observer(dbPath());
        QVERIFY(observer.isOpen());
        QVERIFY(observer.exec("BEGIN EXCLUSIVE"));
        for (int i = 0; i < 20; ++i) {
            InsertSerialData::appendRow(row("A1", i, 2, quint32(20 + i)));
        }
        QVERIFY(!store->insertNow());
        QVERIFY(!store->lastError().isEmpty());
        QCOMPARE(InsertSerialData::pendingRowCount(), 20);
        QVERIFY(!store->insertNow());
        QCOMPARE(InsertSerialData::pendingRowCount(), 20);
        QVERIFY(observer.exec("COMMIT"));

        InsertSerialData::appendRow(row("A1", 99, 2, 99));
        QVERIFY(store->insertNow());
        QVERIFY(store->lastError().isEmpty());
        QCOMPARE(InsertSerialData::pendingRowCount(), 0);
        QCOMPARE(store->totalRow(), 22);
        QCOMPARE(observer.scalar("select count(distinct pointDate) from kestrelix").toInt(), 22);
    }

    void serialNumberIsStoredExactlyAsItIs_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::newRow("quote") << QStringLiteral("O'Brien");
        QTest::newRow("drop table") << QStringLiteral("'); drop table kestrelix; --");
        QTest::newRow("extra row") << QStringLiteral("x', 1, 2, 3 union select 'y");
        QTest::newRow("non-latin") << QStringLiteral("KX\u00e9\u4e2d0001");
    }
    void serialNumberIsStoredExactlyAsItIs()
    {
        QFETCH(QString, serial);
        auto store = openStore();
        QVERIFY(store);
        InsertSerialData::appendRow(row(serial, 1, 2, 10));
        InsertSerialData::appendRow(row("A1", 3, 4, 10));
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
        const auto pragma = [&query](const char *statement) {
            return query.exec(QLatin1String(statement)) && query.next() ? query.value(0)
                                                                        : QVariant();
        };
        QCOMPARE(pragma("PRAGMA journal_mode").toString(), QStringLiteral("wal"));
        QCOMPARE(pragma("PRAGMA synchronous").toInt(), 1);
        QCOMPARE(pragma("PRAGMA page_size").toInt(), 4096);
        QCOMPARE(pragma("PRAGMA cache_size").toInt(), 65536);
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

        InsertSerialData::appendRow(row("A1", 1, 2, 10));
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
        InsertSerialData::appendRow(row("A1", 1, 2, 10));
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 1);
        store.reset();
        QVERIFY(!QSqlDatabase::contains(name));
        Observer observer(dbPath());
        QCOMPARE(observer.scalar("select count(*) from kestrelix").toInt(), 1);
    }

    void fullQueueDropsTheOldestRowsAndCountsThem()
    {
        InsertSerialData::setPendingRowLimit(10);
        const qint64 droppedBefore = InsertSerialData::droppedRowCount();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\[ERROR\\] more than 10 rows"));
        for (int i = 0; i < 15; ++i) {
            InsertSerialData::appendRow(row("A1", i, i, quint32(i)));
        }
        QCOMPARE(InsertSerialData::pendingRowCount(), 10);
        QCOMPARE(InsertSerialData::droppedRowCount() - droppedBefore, 5);

        auto store = openStore();
        QVERIFY(store);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\[ERROR\\] 5 rows were dropped"));
        QVERIFY(store->insertNow());
        QCOMPARE(store->totalRow(), 10);
        QCOMPARE(store->startDateTime(), 5u);
        QCOMPARE(store->endDateTime(), 14u);
    }

    void queriesOnADroppedTableReportFailure()
    {
        auto store = openStore();
        QVERIFY(store);
        QVERIFY(store->deleteTable());
        QVERIFY(!store->deleteTable());
        QCOMPARE(store->totalRow(), -1);
        QCOMPARE(store->startDateTime(), 0u);
        QCOMPARE(store->endDateTime(), 0u);
    }
};

QTEST_GUILESS_MAIN(TestInsertSerialData)
#include "tst_insertserialdata.moc"

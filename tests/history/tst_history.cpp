#include "device/configureddevice.h"
#include "project/projectfile.h"
#include "store/historydatabase.h"
#include "store/historyquery.h"
#include "store/historyscan.h"
#include "store/historysummary.h"
#include "store/insertserialdata.h"
#include "tests/support/sqlprobe.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"
#include "view/historychart.h"
#include "view/historyproject.h"
#include "view/historyview.h"

#include <QBuffer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>

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

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A fixed offset without summer time: every local time below reads +01:00.
        qputenv("TZ", "CET-1");
        isolateSettings();
        QStandardPaths::setTestModeEnabled(true);
        m_project = m_dir.projectPath(QStringLiteral("Cold"));
        ConfiguredDevice a("A1", LINK_TCP), b("B7", LINK_TCP);
        a.setConnection("Freezer 3, left", "Air", "Humidity", "127.0.0.1", 23);
        a.setUnits(1, 3);
        a.setAlarmRange(0, 5, 0, 0);
        b.setConnection("Lab \"B\"", "T", "H", "127.0.0.1", 24);
        b.setUnits(2, 0);
        QVERIFY(ProjectFile::create(m_project, QStringLiteral("Cold"), 10000));
        QVERIFY(ProjectFile::saveDevices(m_project, {&a, &b}));
        QVERIFY(m_info.load(m_project));
        QCOMPARE(m_info.intervalSeconds, 10);

        // The recorder's own store makes the table and the index; the rows go in as they stand.
        m_store = std::make_unique<InsertSerialData>(m_info.databasePath, QStringLiteral("tst"));
        QVERIFY(m_store->createConnection());
        QCOMPARE(sqlValue(m_info.databasePath, "select sql from sqlite_master where type = 'index'")
                     .toString(),
                 QStringLiteral("CREATE INDEX kestrelix_serialno_pointdate on kestrelix (serialno, "
                                "pointDate)"));
        const QSqlDatabase db = QSqlDatabase::database(m_store->connectionName());
        for (const Sample &s : SAMPLES)
            insert(db, s.id, T0 + s.offset, QString::fromLatin1(s.serial), s.ch1, s.ch2);
    }
    void statisticsAndCsvText()
    {
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
        QCOMPARE(stats(h).mid(0, 5), QVariantList({5, 50.0, 56.0, 52.8, 6}));
        QVERIFY(!h.hasMkt);
        QCOMPARE(statisticsCells(*m_info.logger(QStringLiteral("A1")), 1, h).mid(8),
                 QStringList({"-", "-", "-"}));
        // Fahrenheit: one sample's MKT is the sample itself.
        const ChannelStatistics f = set.of(QStringLiteral("B7"))->channel(0);
        QVERIFY(std::abs(f.meanKineticTemperature - 21.5) < 1e-9);

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
    }
    void lineGaps()
    {
        // Buckets at 10 s: 0-10 holds a NULL channel-1 row, 20, then 100 after a gap.
        auto bucket = [](qint64 first, qint64 last, int rows, int values, double v) {
            HistoryBucket b;
            b.firstTime = first;
            b.lastTime = last;
            b.count = rows;
            b.valueCount[0] = values;
            b.minimum[0] = b.maximum[0] = v;
            return b;
        };
        const QVector<HistoryPoint> line =
            historyLine({bucket(0, 10, 2, 1, 1), bucket(20, 20, 1, 1, 2), bucket(30, 30, 1, 1, 3),
                         bucket(100, 100, 1, 1, 4)},
                        0, 10);
        QString values; // NaN after the bucket with a row without value and 70 s without rows
        for (const HistoryPoint &p : line)
            values += QString::number(p.value) + ' ';
        QCOMPARE(values, QStringLiteral("1 nan 2 3 nan 4 "));
    }
    void bucketsMatchFullScan()
    {
        TempProjectDir dir;
        const QString path = dir.filePath(QStringLiteral("big.dat"));
        InsertSerialData store(path, QStringLiteral("big"));
        QVERIFY(store.createConnection());
        const QSqlDatabase db = QSqlDatabase::database(store.connectionName());
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

        HistoryDatabase database(path);
        QVERIFY(database.open());
        HistorySummary summary(&database, dir.filePath(QStringLiteral("summary.sqlite")));
        QVERIFY(summary.open());
        while (!summary.catchUp(5000)) {
        }
        // Recording goes on: new rows are folded in on the next look.
        fill(T0 + 3 * 86400, T0 + 4 * 86400);
        QVERIFY(!summary.catchUp(1));
        while (!summary.catchUp(5000)) {
        }

        QSqlQuery full(database.database());
        for (int columns : {20, 200, 100000}) {
            // Aligned on whole hours the summary's columns hold exactly the rows of the range.
            const qint64 from = T0 + 2800;
            const qint64 to = from + 95 * 3600 - 1;
            HistoryQuery query(&database, &summary);
            const QVector<HistoryBucket> buckets =
                query.buckets(QStringLiteral("S"), from, to, columns);
            QCOMPARE(query.lastUsedSummary(), columns <= 200);
            QVERIFY(buckets.size() <= columns);
            QVERIFY(
                full.exec(QStringLiteral("select min(channel1), max(channel1), min(channel2), "
                                         "max(channel2), count(*), count(channel1) from kestrelix "
                                         "where pointDate between %1 and %2")
                              .arg(from)
                              .arg(to)));
            QVERIFY(full.next());
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
    void viewShowsRangeAndEmptyRange()
    {
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
        const QString out = m_dir.filePath(QStringLiteral("out.csv"));
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
        const QString pdf = m_dir.filePath(QStringLiteral("report.pdf"));
        int code = -2;
        const QString err = runProgram({"--report-pdf", m_project, "-o", pdf}, &code);
        QCOMPARE(code, 0);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QProcess info, text;
        info.start(QStringLiteral("pdfinfo"), {pdf});
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, "-"});
        QVERIFY(info.waitForFinished() && text.waitForFinished());
        QVERIFY(info.readAllStandardOutput().contains("Pages:           2"));
        const QString content = QString::fromUtf8(text.readAllStandardOutput());
        for (const char *expected :
             {"History report: Cold", "Range: 2023-11-14 23:13:20 to 2023-11-14 23:15:10",
              "Freezer 3, left (A1)", "Statistics", "2.80", "3.12", "00:00:10",
              "No alarm events in this range."})
            QVERIFY2(content.contains(QString::fromUtf8(expected)), expected);
    }

private:
    QString runProgram(const QStringList &args, int *exitCode)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString name : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
            QDir().mkpath(m_dir.filePath(name));
            QFile::setPermissions(m_dir.filePath(name),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            env.insert(name, m_dir.filePath(name));
        }
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VELMORAN_LITE_PATH), args);
        process.waitForFinished(60000);
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return QString::fromUtf8(process.readAllStandardError());
    }

    TempProjectDir m_dir;
    QString m_project;
    std::unique_ptr<InsertSerialData> m_store;
    HistoryProject m_info;
};

QTEST_MAIN(TestHistory)
#include "tst_history.moc"

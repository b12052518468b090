// Looking back at generated databases of one logger at 1 s (31.5 million rows is a year):
//  - generating the rows (one transaction, one statement) and building the (serialno,
//    pointDate) index on them;
//  - folding the rows into the minute summary once (what the history window does on first
//    opening, in steps);
//  - drawing the whole range: the bucket query for a chart of 1500 pixel columns plus the
//    chart itself, with the summary; rows loaded against columns;
//  - a day at the end of the range (read from the table through the index);
//  - the whole range straight from the table, without the summary (skipped above 10 million
//    rows unless --raw is given: it reads every row).
// Databases are made in a temporary folder under /tmp and deleted afterwards.

#include "store/historydatabase.h"
#include "store/historyquery.h"
#include "store/historysummary.h"
#include "store/insertserialdata.h"
#include "view/historychart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int COLUMNS = 1500;
constexpr qint64 START = 1700000000;
const QString SERIAL = QStringLiteral("QJ_SERIES_000001");

double ms(const QElapsedTimer &clock)
{
    return clock.nsecsElapsed() / 1e6;
}

bool generate(const QString &path, qint64 rows)
{
    InsertSerialData store(path, QStringLiteral("benchgen"));
    if (!store.createConnection())
        return false;
    QSqlDatabase db = QSqlDatabase::database(store.connectionName());
    QSqlQuery query(db);
    // The index is built after the rows, as it is for an older database opened the first time.
    query.exec(QStringLiteral("drop index kestrelix_serialno_pointdate"));
    QElapsedTimer clock;
    clock.start();
    db.transaction();
    // A daily ten-minute gap, a break row every 100000 s, and no channel 2 value now and then.
    const bool ok = query.exec(
        QStringLiteral(
            "with recursive s(i) as (select 0 union all select i + 1 from s where i < %1) "
            "insert into kestrelix (serialno, channel1, channel2, pointDate) select '%2', "
            "case when i % 100000 = 99999 then null else round(4 + 3 * sin(i / 3600.0) + "
            "(i % 7) * 0.1, 1) end, case when i % 100000 = 99999 or i % 997 = 0 then null "
            "else round(50 + 10 * cos(i / 7200.0), 1) end, %3 + i from s where i % 86400 < "
            "85800")
            .arg(rows - 1)
            .arg(SERIAL)
            .arg(START));
    db.commit();
    std::printf("  generated in %.1f s\n", ms(clock) / 1000);
    clock.start();
    const bool indexed = query.exec(QStringLiteral(
        "create index kestrelix_serialno_pointdate on kestrelix (serialno, pointDate)"));
    std::printf("  index built in %.1f s\n", ms(clock) / 1000);
    return ok && indexed;
}

void draw(HistoryChart *chart, const QVector<HistoryBucket> &buckets, qint64 from, qint64 to)
{
    chart->setTimeRange(from, to);
    chart->setSeries(
        {HistorySeries{QStringLiteral("Freezer"), QStringLiteral("C"), Qt::cyan, buckets}}, 1);
    chart->toPixmap(1600, 400);
}

void measure(double millions, bool raw, const QString &folder)
{
    const qint64 rows = qint64(millions * 1e6);
    std::printf("%.1f million rows (one logger, 1 s):\n", millions);
    const QString path = folder + QStringLiteral("/bench.dat");
    if (!generate(path, rows)) {
        std::printf("  generation failed\n");
        return;
    }
    {
        HistoryDatabase database(path);
        database.open();
        qint64 from = 0;
        qint64 to = 0;
        database.recordedRange({SERIAL}, &from, &to);
        HistorySummary summary(&database, folder + QStringLiteral("/summary.sqlite"));
        summary.open();
        QElapsedTimer clock;
        clock.start();
        while (!summary.catchUp(100000)) {
        }
        std::printf("  summary folded once in %.1f s\n", ms(clock) / 1000);

        HistoryChart chart(0);
        HistoryQuery query(&database, &summary);
        for (int run = 0; run < 2; ++run) {
            clock.start();
            const QVector<HistoryBucket> buckets = query.buckets(SERIAL, from, to, COLUMNS);
            const double queried = ms(clock);
            QElapsedTimer drawing;
            drawing.start();
            draw(&chart, buckets, from, to);
            std::printf("  whole range (%s), %s: query %.0f ms, chart %.0f ms, together %.0f ms, "
                        "%d rows loaded for %d columns\n",
                        run == 0 ? "first" : "again", query.lastUsedSummary() ? "summary" : "table",
                        queried, ms(drawing), ms(clock), int(buckets.size()), COLUMNS);
        }
        clock.start();
        const QVector<HistoryBucket> day = query.buckets(SERIAL, to - 86400, to, COLUMNS);
        draw(&chart, day, to - 86400, to);
        std::printf("  last day (%s): %.0f ms, %d rows loaded\n",
                    query.lastUsedSummary() ? "summary" : "table", ms(clock), int(day.size()));
        if (raw || millions <= 10) {
            HistoryQuery plain(&database);
            clock.start();
            const QVector<HistoryBucket> buckets = plain.buckets(SERIAL, from, to, COLUMNS);
            std::printf("  whole range from the table, no summary: %.0f ms\n", ms(clock));
        }
    }
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    QFile::remove(folder + QStringLiteral("/summary.sqlite"));
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QList<double> sizes;
    bool raw = false;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--raw")
            raw = true;
        else
            sizes.append(QByteArray(argv[i]).toDouble());
    }
    if (sizes.isEmpty())
        sizes = {1, 10, 31.536};
    QTemporaryDir dir(QStringLiteral("/tmp/velmoran-bench-history-XXXXXX"));
    for (double millions : sizes)
        measure(millions, raw, dir.path());
    return 0;
}

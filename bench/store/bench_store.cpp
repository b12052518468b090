// Measures the measurement store on a real file in a temporary folder:
//  1. rows per second of insertNow() against plain prepared one-row inserts of the same rows,
//     each batch in one transaction, in the same run;
//  2. the cost of one 96-row batch (64 loggers at 1 s, flushed every 1.5 s) as a median over
//     many batches, in the crash-safe journal and, for comparison, with the journal switched off;
//  3. the recovery after an outage: a queue of a million rows drained by flushes run from the
//     event loop as the window runs them (one slice each, 10 ms apart), the longest single flush
//     and the total time (velmoran-bench-store [batches] [queued rows]);
//  4. what writing events adds to the 96-row batch: batches with and without events alternate
//     on one store, so that both see the same file and the same disk.

#include "device/devicetypes.h"
#include "store/insertserialdata.h"
#include "store/pendingeventqueue.h"
#include "store/pendingrowqueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <ctime>
#include <utility>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int BATCH = 96;

QList<SerialDataRow> makeBatch(quint32 second)
{
    QList<SerialDataRow> rows;
    for (int i = 0; i < BATCH; ++i) {
        const double ch2 = i % 7 == 0 ? NO_VALUE : 40.0 + i * 0.25;
        rows.append(SerialDataRow{QStringLiteral("KX%1").arg(i % 64, 4, 10, QChar('0')),
                                  20.0 + (second % 100) * 0.01 + i, ch2, second + quint32(i / 64)});
    }
    return rows;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Rows of 64 loggers at 1 s before the measured batches, so that the index is as deep as in a
// database that has been recording for a while.
void prefill(const QSqlDatabase &db, int rows)
{
    QSqlQuery query(db);
    query.exec(
        QStringLiteral(
            "with recursive s(i) as (select 0 union all select i + 1 from s where i < %1) "
            "insert into kestrelix (serialno, channel1, channel2, pointDate) select "
            "printf('KX%04d', i % 64), 20 + (i % 100) * 0.01, 40, 1600000000 + i / 64 from s")
            .arg(rows - 1));
}

// Each batch through the store: returns the time of every batch in microseconds.
std::vector<double> runStore(const QString &path, int batches, const char *journal,
                             bool index = true, int prefillRows = 0)
{
    std::vector<double> costs;
    InsertSerialData store(path, QStringLiteral("bench") + QString::fromLatin1(journal));
    PendingRowQueue queue;
    store.setRowQueue(&queue);
    if (!store.createConnection()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return costs;
    }
    if (journal != QByteArray("wal")) {
        QSqlQuery query(QSqlDatabase::database(store.connectionName()));
        query.exec(QStringLiteral("PRAGMA journal_mode = ") + QString::fromLatin1(journal));
    }
    if (!index) {
        QSqlQuery query(QSqlDatabase::database(store.connectionName()));
        query.exec(QStringLiteral("drop index kestrelix_serialno_pointdate"));
    }
    if (prefillRows > 0)
        prefill(QSqlDatabase::database(store.connectionName()), prefillRows);
    QElapsedTimer clock;
    for (int b = 0; b < batches; ++b) {
        const QList<SerialDataRow> rows = makeBatch(1700000000u + quint32(b) * 2);
        clock.start();
        for (const SerialDataRow &row : rows) {
            queue.append(row);
        }
        if (!store.insertNow()) {
            std::fprintf(stderr, "insertNow failed: %s\n", qPrintable(store.lastError()));
            break;
        }
        costs.push_back(clock.nsecsElapsed() / 1000.0);
    }
    return costs;
}

// Batch costs in microseconds without events (first) and with eventsPerBatch events (second).
std::pair<std::vector<double>, std::vector<double>> runEvents(const QString &path, int batches,
                                                              int eventsPerBatch)
{
    std::pair<std::vector<double>, std::vector<double>> costs;
    InsertSerialData store(path, QStringLiteral("benchevents"));
    if (!store.createConnection())
        return costs;
    PendingRowQueue queue;
    PendingEventQueue events;
    store.setRowQueue(&queue);
    store.setEventQueue(&events);
    QElapsedTimer clock;
    for (int b = 0; b < 2 * batches; ++b) {
        const quint32 second = 1700000000u + quint32(b) * 2;
        const QList<SerialDataRow> rows = makeBatch(second);
        const bool withEvents = b % 2 == 1;
        clock.start();
        for (const SerialDataRow &row : rows)
            queue.append(row);
        for (int e = 0; withEvents && e < eventsPerBatch; ++e)
            events.append(EventRow{second, QStringLiteral("KX%1").arg(e % 64, 4, 10, QChar('0')), 1,
                                   QStringLiteral("alarm started"), 31.5, 0, 30,
                                   QStringLiteral("Room")});
        if (!store.insertNow())
            break;
        (withEvents ? costs.second : costs.first).push_back(clock.nsecsElapsed() / 1000.0);
    }
    return costs;
}

// The same rows with one prepared single-row insert per row, one transaction per batch.
std::vector<double> runPlain(const QString &path, int batches)
{
    std::vector<double> costs;
    const QString name = QStringLiteral("plain");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.open();
        QSqlQuery setup(db);
        setup.exec(QStringLiteral("PRAGMA page_size = 4096"));
        setup.exec(QStringLiteral("PRAGMA cache_size = 65536"));
        setup.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
        setup.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
        setup.exec(QStringLiteral("create table kestrelix (id integer primary key autoincrement, "
                                  "serialno varchar(18) not null, channel1 float, channel2 float, "
                                  "pointDate integer not null)"));
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral(
            "insert into kestrelix (serialno, channel1, channel2, pointDate) values (?, ?, ?, ?)"));
        const QVariant null(QMetaType::fromType<double>());
        QElapsedTimer clock;
        for (int b = 0; b < batches; ++b) {
            const QList<SerialDataRow> rows = makeBatch(1700000000u + quint32(b) * 2);
            clock.start();
            db.transaction();
            for (const SerialDataRow &row : rows) {
                insert.bindValue(0, row.serialNo);
                insert.bindValue(1, row.channel1 == NO_VALUE ? null : QVariant(row.channel1));
                insert.bindValue(2, row.channel2 == NO_VALUE ? null : QVariant(row.channel2));
                insert.bindValue(3, qint64(row.pointDate));
                insert.exec();
            }
            db.commit();
            costs.push_back(clock.nsecsElapsed() / 1000.0);
        }
    }
    QSqlDatabase::removeDatabase(name);
    return costs;
}

double rowsPerSecond(const std::vector<double> &costs)
{
    double total = 0;
    for (double c : costs) {
        total += c;
    }
    return total > 0 ? costs.size() * BATCH / (total / 1e6) : 0;
}

// CPU time of this thread: a busy machine preempts a flush, which lengthens its wall time but
// not the work it does.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct DrainResult
{
    std::vector<double> cpuMs;
    int flushes = 0;
    std::vector<double> stepsMs;
    double longestMs = 0;
    double totalMs = 0;
    int stored = 0;
};

DrainResult drainBacklog(const QString &path, int queued)
{
    DrainResult result;
    InsertSerialData store(path, QStringLiteral("benchdrain"));
    // The whole queue waits at once, well past the default bound of the window's queue.
    PendingRowQueue rows;
    store.setRowQueue(&rows);
    if (!store.createConnection()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return result;
    }
    for (int i = 0; i < queued; ++i) {
        const double ch2 = i % 7 == 0 ? NO_VALUE : 40.0 + (i % 50) * 0.25;
        rows.append(SerialDataRow{QStringLiteral("KX%1").arg(i % 64, 4, 10, QChar('0')),
                                  20.0 + (i % 100) * 0.01, ch2, 1700000000u + quint32(i / 64)});
    }
    QElapsedTimer total;
    QElapsedTimer step;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        step.start();
        const double cpu = threadCpuMs();
        const bool ok = store.insertNow();
        result.cpuMs.push_back(threadCpuMs() - cpu);
        result.stepsMs.push_back(step.nsecsElapsed() / 1e6);
        result.longestMs = std::max(result.longestMs, result.stepsMs.back());
        ++result.flushes;
        if (!ok) {
            std::fprintf(stderr, "insertNow failed: %s\n", qPrintable(store.lastError()));
            QCoreApplication::exit(1);
        } else if (rows.count() > 0) {
            timer.start(10);
        } else {
            QCoreApplication::exit(0);
        }
    });
    total.start();
    timer.start(0);
    QCoreApplication::exec();
    result.totalMs = total.nsecsElapsed() / 1e6;
    result.stored = store.totalRow();
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int batches = argc > 1 ? std::max(10, atoi(argv[1])) : 2000;
    const int queued = argc > 2 ? std::max(1, atoi(argv[2])) : 1000000;
    QTemporaryDir dir;

    const auto store = runStore(dir.filePath(QStringLiteral("store.dat")), batches, "wal");
    const auto plain = runPlain(dir.filePath(QStringLiteral("plain.dat")), batches);
    const auto off = runStore(dir.filePath(QStringLiteral("off.dat")), batches, "off");
    const auto rollback = runStore(dir.filePath(QStringLiteral("delete.dat")), batches, "delete");

    const auto noIndex =
        runStore(dir.filePath(QStringLiteral("noindex.dat")), batches, "wal", false);
    constexpr int PREFILL = 2000000;
    const auto deepIndex =
        runStore(dir.filePath(QStringLiteral("deep.dat")), batches, "wal", true, PREFILL);
    const auto deepNoIndex =
        runStore(dir.filePath(QStringLiteral("deepnoindex.dat")), batches, "wal", false, PREFILL);

    std::printf("batches of %d rows: %d\n", BATCH, batches);
    std::printf("insertNow (WAL, synchronous NORMAL): %.0f rows/s, median %.0f us per batch\n",
                rowsPerSecond(store), median(store));
    std::printf("prepared one-row inserts, same rows:  %.0f rows/s, median %.0f us per batch\n",
                rowsPerSecond(plain), median(plain));
    std::printf("ratio insertNow / one-row inserts:    %.2f\n",
                rowsPerSecond(store) / rowsPerSecond(plain));
    std::printf("ratio of the median batch costs:      %.2f\n", median(plain) / median(store));
    std::printf("journal off (synchronous NORMAL):     median %.0f us per batch\n", median(off));
    std::printf("rollback journal, synchronous FULL:   median %.0f us per batch\n",
                median(rollback));
    std::printf("(serialno, pointDate) index, empty table: median %.0f us per batch, without it "
                "%.0f us\n",
                median(store), median(noIndex));
    std::printf("the same after %d rows of 64 loggers:  median %.0f us per batch, without it "
                "%.0f us\n",
                PREFILL, median(deepIndex), median(deepNoIndex));

    // A bad hour has a few alarms per flush; one event for each of the 64 loggers in every
    // flush is far beyond what a site sees.
    for (const int events : {2, 64}) {
        const auto [without, with] =
            runEvents(dir.filePath(QStringLiteral("events%1.dat").arg(events)), batches, events);
        std::printf("batch with %d events: median %.0f us, without %.0f us: %+.1f %%\n", events,
                    median(with), median(without),
                    100.0 * (median(with) - median(without)) / median(without));
    }

    const DrainResult drain = drainBacklog(dir.filePath(QStringLiteral("drain.dat")), queued);
    const auto percentile = [](std::vector<double> sorted, double p) {
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0 : sorted[std::min(sorted.size() - 1, size_t(p * sorted.size()))];
    };
    std::printf("backlog of %d rows, %d per flush: %d flushes, %.2f s in all (%d rows stored)\n",
                queued, InsertSerialData::ROWS_PER_FLUSH, drain.flushes, drain.totalMs / 1000.0,
                drain.stored);
    std::printf("flush, wall time: median %.1f ms, 99th percentile %.1f ms, longest %.1f ms\n",
                percentile(drain.stepsMs, 0.5), percentile(drain.stepsMs, 0.99), drain.longestMs);
    std::printf("flush, CPU time:  median %.1f ms, 99th percentile %.1f ms, longest %.1f ms\n",
                percentile(drain.cpuMs, 0.5), percentile(drain.cpuMs, 0.99),
                percentile(drain.cpuMs, 1.0));
    return 0;
}

// Recorders writing into one private PostgreSQL 15 server, each through its own store (worker
// thread, connection) as the program runs it: samples queued on a poll timer, flushed every
// 1.5 s. Prints rows per second, batch latency (hand-over to commit) and whether every row is
// stored once.
#include "store/pendingrowqueue.h"
#include "store/pgstore.h"
#include "tests/support/pgtestserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Recorder
{
    PgStore *store = nullptr;
    PendingRowQueue queue;
    QStringList serials;
    qint64 appended = 0;
};

struct Result
{
    qint64 rows = 0;
    double seconds = 0;
    std::vector<qint64> latencies;
};

// recorders x loggers polled every pollMs for seconds; stored rows counted afterwards.
Result run(PgTestServer &server, int recorders, int loggers, int pollMs, int seconds,
           const QString &prefix)
{
    std::vector<Recorder> list(recorders);
    Result result;
    for (int r = 0; r < recorders; ++r) {
        Recorder &rec = list[r];
        rec.store = new PgStore(server.url());
        rec.store->open();
        for (int l = 0; l < loggers; ++l)
            rec.serials.append(QStringLiteral("%1%2-%3").arg(prefix).arg(r).arg(l));
        QEventLoop answered;
        QObject::connect(rec.store, &PgStore::startAnswered, &answered,
                         [&answered](quint64, bool ok, const QString &message) {
                             if (!ok)
                                 std::fprintf(stderr, "start: %s\n", qPrintable(message));
                             answered.quit();
                         });
        rec.store->requestStart(rec.serials, QStringLiteral("bench"));
        answered.exec();
        QObject::connect(rec.store, &PgStore::batchCommitted,
                         [&result](int, qint64 us) { result.latencies.push_back(us); });
    }
    // Samples at a pollMs cadence: one row per logger and tick, each tick its own time stamp
    // (ticks of 100 ms get distinct seconds here, so no row repeats another).
    quint32 second = 1600000000;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (Recorder &rec : list) {
            for (const QString &s : std::as_const(rec.serials))
                rec.queue.append({s, 21.5, 45.0, second});
            rec.appended += rec.serials.size();
        }
        ++second;
    });
    QTimer flush;
    QObject::connect(&flush, &QTimer::timeout, [&] {
        for (Recorder &rec : list)
            rec.store->insertFrom(rec.queue);
    });
    QElapsedTimer clock;
    clock.start();
    poll.start(pollMs);
    flush.start(1500);
    while (clock.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    poll.stop();
    flush.stop();
    // Drain what is left.
    bool left = true;
    while (left) {
        left = false;
        for (Recorder &rec : list) {
            rec.store->insertFrom(rec.queue);
            rec.store->waitForIdle(5000);
            left = left || rec.queue.count() > 0;
        }
    }
    result.seconds = clock.elapsed() / 1000.0;
    for (Recorder &rec : list) {
        result.rows += rec.appended;
        delete rec.store;
    }
    return result;
}

void report(const char *title, PgTestServer &server, const Result &r, const QString &prefix)
{
    QString stored;
    server.exec(
        {QStringLiteral("select count(*) from kestrelix where serialno like '%1%'").arg(prefix)},
        &stored);
    std::vector<qint64> l = r.latencies;
    std::sort(l.begin(), l.end());
    auto pct = [&](double p) { return l.empty() ? 0.0 : l[size_t(p * (l.size() - 1))] / 1000.0; };
    std::printf("%s: %lld rows queued, %s stored, %.0f rows/s over %.1f s; %zu batches, latency "
                "median %.1f ms, p95 %.1f ms, max %.1f ms\n",
                title, r.rows, qPrintable(stored), r.rows / r.seconds, r.seconds, l.size(),
                pct(0.5), pct(0.95), pct(1.0));
}

// The most one recorder gets through: a backlog of rows written batch after batch.
void backlog(PgTestServer &server, int rows)
{
    PgStore store(server.url());
    store.open();
    PendingRowQueue queue;
    for (int i = 0; i < rows; ++i)
        queue.append(
            {QStringLiteral("BL-%1").arg(i % 64), 20.0, 50.0, quint32(1500000000 + i / 64)});
    QElapsedTimer clock;
    clock.start();
    while (queue.count() > 0) {
        store.insertFrom(queue);
        store.waitForIdle(10000);
    }
    std::printf("backlog: %d rows in %.2f s, %.0f rows/s\n", rows, clock.elapsed() / 1000.0,
                rows / (clock.elapsed() / 1000.0));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 60;
    const QString missing = PgTestServer::missingReason();
    if (!missing.isEmpty()) {
        std::fprintf(stderr, "no PostgreSQL server can run here: %s\n", qPrintable(missing));
        return 77;
    }
    PgTestServer server(true);
    if (!server.start()) {
        std::fprintf(stderr, "server: %s\n", qPrintable(server.lastError()));
        return 1;
    }
    report("8 recorders x 64 loggers at 1 s", server,
           run(server, 8, 64, 1000, seconds, QStringLiteral("E")), QStringLiteral("E"));
    report("1 recorder x 64 loggers at 100 ms", server,
           run(server, 1, 64, 100, seconds, QStringLiteral("H")), QStringLiteral("H"));
    backlog(server, 200000);
    return 0;
}

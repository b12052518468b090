// Writes batches into a measurement store until it is killed, printing the number of rows
// committed so far after every commit. The crash-safety test kills it at random moments.

#include "store/insertserialdata.h"
#include "store/pendingrowqueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: crashwriter <database>\n");
        return 2;
    }
    InsertSerialData store(QString::fromLocal8Bit(argv[1]), QStringLiteral("crash"));
    PendingRowQueue rows;
    store.setRowQueue(&rows);
    if (!store.createConnection()) {
        return 1;
    }
    constexpr int BATCH = 96;
    qint64 committed = 0;
    QElapsedTimer clock;
    clock.start();
    // Bounded in case nobody kills it.
    for (quint32 batch = 0; batch < 200000 && clock.elapsed() < 20000; ++batch) {
        for (int i = 0; i < BATCH; ++i) {
            rows.append(SerialDataRow{QStringLiteral("CW%1").arg(i, 2, 10, QChar('0')),
                                      20.0 + i * 0.01, 40.0 + batch % 100, 1700000000u + batch});
        }
        if (store.insertNow()) {
            committed += BATCH;
            std::printf("%lld\n", static_cast<long long>(committed));
            std::fflush(stdout);
        }
    }
    return 0;
}

// A recording program killed with SIGKILL at random moments, twenty times over the same
// database: every time the file passes the integrity check and holds every row of every batch
// the program reported as committed.
#include "project/projectfile.h"
#include "tests/faults/recordingrig.h"
#include "tests/support/simprocess.h"
#include "tests/support/simulatorproject.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPair>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace {
// Channel 1 of every logger is out of its range from the first sample on: the program is
// killed in the middle of an alarm.
bool writeProject(const QString &path, const QList<SimProcess::Logger> &loggers)
{
    return writeSimulatorProject(path, loggers, 1000, {0.0f, 1.0f, -1e6f, 1e6f});
}

// Per logger: how many of its rows, and how many alarm starts, the file holds.
QHash<QString, QPair<int, int>> rowsAndAlarms(const QString &databasePath)
{
    QHash<QString, QPair<int, int>> counts;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "alarmreader");
        db.setDatabaseName(databasePath);
        if (db.open()) {
            QSqlQuery query(db);
            query.exec("select serialno, count(*) from kestrelix group by serialno");
            while (query.next())
                counts[query.value(0).toString()].first = query.value(1).toInt();
            query.exec("select serialno, count(*) from kestrelix_event where kind = 'alarm "
                       "started' group by serialno");
            while (query.next())
                counts[query.value(0).toString()].second = query.value(1).toInt();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("alarmreader"));
    return counts;
}

int rowCount(const QString &databasePath)
{
    int count = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "crashreader");
        db.setDatabaseName(databasePath);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("select count(*) from kestrelix")) && query.next())
                count = query.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("crashreader"));
    return count;
}
} // namespace

class TestFaultsCrash : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void aKilledRecordingLeavesEveryCommittedBatchInAnIntactDatabase();

private:
    SimProcess m_sim;
    TempProjectDir m_dir;
};

void TestFaultsCrash::initTestCase()
{
    isolateSettings();
    QVERIFY(m_sim.start({"--tcp", "4", "--tcp-base-port", "0", "--drift", "tcp0:1", "--drift",
                         "tcp1:1", "--drift", "tcp2:1", "--drift", "tcp3:1"}));
}

void TestFaultsCrash::aKilledRecordingLeavesEveryCommittedBatchInAnIntactDatabase()
{
    const QString project = m_dir.projectPath(QStringLiteral("Crash"));
    QVERIFY(writeProject(project, m_sim.loggers()));
    const QString database = ProjectFile::databasePath(project);
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    qInfo("seed %u", seed);

    QElapsedTimer total;
    total.start();
    for (int trial = 0; trial < 20; ++trial) {
        QProcess recorder;
        recorder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        recorder.start(QStringLiteral(FAULTS_RECORDER_PATH), {project});
        QVERIFY(recorder.waitForStarted(5000));
        QVERIFY2(QTest::qWaitFor([&] { return recorder.canReadLine(); }, 10000),
                 "the recorder did not start recording");
        QCOMPARE(recorder.readLine().trimmed(), QByteArray("RECORDING"));

        // Anywhere from before the first batch to a dozen batches in.
        const int lifeMs = random.bounded(20, 700);
        int committed = -1;
        const QHash<QString, QPair<int, int>> before = rowsAndAlarms(database);
        QElapsedTimer life;
        life.start();
        while (life.elapsed() < lifeMs) {
            recorder.waitForReadyRead(int(qMax<qint64>(1, lifeMs - life.elapsed())));
            while (recorder.canReadLine()) {
                const QByteArray line = recorder.readLine().trimmed();
                if (line.startsWith("COMMITTED "))
                    committed = line.mid(10).toInt();
            }
        }
        recorder.kill();
        QVERIFY(recorder.waitForFinished(5000));
        while (recorder.canReadLine()) {
            const QByteArray line = recorder.readLine().trimmed();
            if (line.startsWith("COMMITTED "))
                committed = line.mid(10).toInt();
        }
        QCOMPARE(recorder.exitStatus(), QProcess::CrashExit);

        QCOMPARE(integrityCheck(database), QStringLiteral("ok"));
        const int stored = rowCount(database);
        QVERIFY2(stored >= committed,
                 qPrintable(QStringLiteral("trial %1 after %2 ms: %3 rows reported committed, "
                                           "%4 stored")
                                .arg(trial)
                                .arg(lifeMs)
                                .arg(committed)
                                .arg(stored)));
        // A run whose samples of a logger survived also kept the start of its alarm, which
        // was committed with its first sample; a run that left no sample left no start.
        const QHash<QString, QPair<int, int>> after = rowsAndAlarms(database);
        for (auto it = after.cbegin(); it != after.cend(); ++it) {
            const bool sampled = it->first > before.value(it.key()).first;
            QCOMPARE(it->second - before.value(it.key()).second, sampled ? 1 : 0);
        }
    }
    QVERIFY(rowCount(database) > 0);
    qInfo("20 kills in %lld ms, %d rows", total.elapsed(), rowCount(database));
}

QTEST_GUILESS_MAIN(TestFaultsCrash)
#include "tst_faults_crash.moc"

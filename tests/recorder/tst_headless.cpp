#include "project/projectfile.h"
#include "tests/support/simprocess.h"
#include "tests/support/simulatorproject.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <csignal>
#include <memory>

namespace {
// velmoran-lite --headless on a project, with no display at all.
std::unique_ptr<QProcess> startHeadless(const QString &project)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    process->setProcessEnvironment(env);
    process->start(QStringLiteral(VELMORAN_LITE_PATH), {"--headless", project});
    return process;
}

// Waits for the process to end by itself; its exit code, or -1.
int exitCode(QProcess *process)
{
    if (!process->waitForFinished(15000) || process->exitStatus() != QProcess::NormalExit)
        return -1;
    return process->exitCode();
}

bool waitForLine(QProcess *process, const QString &text, QString *seen)
{
    return QTest::qWaitFor(
        [&] {
            *seen += QString::fromLocal8Bit(process->readAllStandardError());
            return seen->contains(text);
        },
        10000);
}

// Rows of the logger: all and those without a value (break rows).
QPair<int, int> storedRows(const QString &databasePath, const QString &serial)
{
    QPair<int, int> rows{-1, -1};
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "reader");
        db.setDatabaseName(databasePath);
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare("select count(*), count(*) - count(channel1) from kestrelix "
                          "where serialno = ?");
            query.addBindValue(serial);
            if (query.exec() && query.next())
                rows = {query.value(0).toInt(), query.value(1).toInt()};
        }
    }
    QSqlDatabase::removeDatabase("reader");
    return rows;
}
QStringList storedEventKinds(const QString &databasePath)
{
    QStringList kinds;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "events");
        db.setDatabaseName(databasePath);
        QSqlQuery query(db);
        if (db.open() && query.exec("select kind from kestrelix_event order by id"))
            while (query.next())
                kinds << query.value(0).toString();
    }
    QSqlDatabase::removeDatabase("events");
    return kinds;
}
} // namespace

class TestHeadless : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        QVERIFY(m_sim.start({"--tcp", "1", "--tcp-base-port", "0"}));
        QVERIFY(writeSimulatorProject(m_dir.projectPath("Cold"), {m_sim.logger("tcp0")}, 1000,
                                      {-1000, 1000, -1000, 1000}));
    }

    void recordsUntilSigtermAndStopsCleanly()
    {
        const QString path = m_dir.projectPath("Cold");
        const int before = m_sim.command("count tcp0").mid(3).toInt();
        auto process = startHeadless(path);
        QString seen;
        QVERIFY2(waitForLine(process.get(), "recording started", &seen), qPrintable(seen));
        QTRY_VERIFY_WITH_TIMEOUT(m_sim.command("count tcp0").mid(3).toInt() >= before + 3, 10000);

        ::kill(process->processId(), SIGTERM);
        QCOMPARE(exitCode(process.get()), 0);
        const QPair<int, int> rows =
            storedRows(ProjectFile::databasePath(path), m_sim.logger("tcp0").deviceNumber);
        QVERIFY2(rows.first >= 4, qPrintable(QString::number(rows.first)));
        QCOMPARE(rows.second, 1);
        QCOMPARE(storedEventKinds(ProjectFile::databasePath(path)),
                 QStringList({"recording started", "recording stopped"}));
        QVERIFY(!ProjectFile::readString(path, "record_start_time").isEmpty());
        QVERIFY(!ProjectFile::readString(path, "record_stop_time").isEmpty());
        QVERIFY(!QFile::exists(ProjectFile::databasePath(path) + ".lock"));
    }

    void aSecondRecorderIsRefusedAndADeadOnesLockTakenOver()
    {
        const QString path = m_dir.projectPath("Cold");
        auto first = startHeadless(path);
        QString seen;
        QVERIFY2(waitForLine(first.get(), "recording", &seen), qPrintable(seen));

        auto second = startHeadless(path);
        QCOMPARE(exitCode(second.get()), 4);
        const QString refusal = QString::fromLocal8Bit(second->readAllStandardError());
        QVERIFY2(refusal.contains("is being recorded by another program (process " +
                                  QString::number(first->processId())),
                 qPrintable(refusal));

        first->kill();
        QVERIFY(first->waitForFinished(5000));
        auto third = startHeadless(path);
        seen.clear();
        QVERIFY2(waitForLine(third.get(), "recording", &seen), qPrintable(seen));
        ::kill(third->processId(), SIGINT);
        QCOMPARE(exitCode(third.get()), 0);
    }

    void aProjectItCannotRecordEndsWithItsExitCode_data()
    {
        QTest::addColumn<QString>("project");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "Missing" << 2 << "does not exist";
        QTest::newRow("no devices") << "Empty" << 2 << "has no devices";
        QTest::newRow("no database") << "Nowhere" << 3 << "cannot be opened";
    }

    void aProjectItCannotRecordEndsWithItsExitCode()
    {
        QFETCH(QString, project);
        QFETCH(int, code);
        QFETCH(QString, message);
        const QString path = m_dir.projectPath(project);
        if (project == "Empty")
            QVERIFY(writeSimulatorProject(path, {}, 1000));
        if (project == "Nowhere") {
            QVERIFY(writeSimulatorProject(path, {m_sim.logger("tcp0")}, 1000));
            QVERIFY(ProjectFile::writeValue(path, "databaseName", "no/such/folder/Nowhere.db"));
        }
        auto process = startHeadless(path);
        QCOMPARE(exitCode(process.get()), code);
        const QString error = QString::fromLocal8Bit(process->readAllStandardError());
        QVERIFY2(error.contains(message), qPrintable(error));
    }

private:
    SimProcess m_sim;
    TempProjectDir m_dir;
};

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless.moc"

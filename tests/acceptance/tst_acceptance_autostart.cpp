#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "project/projectfile.h"
#include "tests/acceptance/recordeddata.h"
#include "tests/discovery/netnsguard.h"
#include "tests/support/simprocess.h"
#include "tests/support/simulatorproject.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

// The installed program started as a session would start it, with nobody at the keyboard:
// its settings say "Auto Load Recent Project" and "Auto Start Record", so it opens the last
// project and records. Everything the test knows comes from the database it leaves.
class TestAcceptanceAutostart : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void theLastProjectRecordsWithoutAnyoneUntilTheSessionEnds();
    void aDatabaseThatCannotBeOpenedIsReportedAndLeftUntouched_data();
    void aDatabaseThatCannotBeOpenedIsReportedAndLeftUntouched();

private:
    bool writeProject(const QString &path, int interval);
    void writeSettings(const QString &projectName, const QString &projectPath);
    void startProgram();

    SimProcess m_sim;
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QProcess> m_program;
};

void TestAcceptanceAutostart::initTestCase()
{
    // The program broadcasts only when asked; the namespace makes sure of it.
    REQUIRE_DISCOVERY_NAMESPACE();
    QVERIFY(QFileInfo::exists(QStringLiteral(VELMORAN_LITE_PATH)));
    QVERIFY(m_sim.start({"--bind", "10.99.0.1", "--tcp", "2", "--tcp-base-port", "0"}));
}

void TestAcceptanceAutostart::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
}

void TestAcceptanceAutostart::cleanup()
{
    if (m_program && m_program->state() != QProcess::NotRunning) {
        m_program->kill();
        m_program->waitForFinished(5000);
    }
    m_program.reset();
}

bool TestAcceptanceAutostart::writeProject(const QString &path, int interval)
{
    return writeSimulatorProject(
        path, m_sim.loggers(), interval, {},
        {QStringLiteral("Night"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")});
}

// The settings file the program reads through QSettings in its native format, which on this
// platform is an INI file below XDG_CONFIG_HOME.
void TestAcceptanceAutostart::writeSettings(const QString &projectName, const QString &projectPath)
{
    const QString file =
        m_home->filePath(QStringLiteral(".config/VelmoranLite/Velmoran Lite.conf"));
    QSettings settings(file, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("RecentProjects"));
    settings.setValue(QStringLiteral("list"), QStringList{projectName});
    settings.setValue(QStringLiteral("projects"),
                      QVariant(QHash<QString, QVariant>{{projectName, projectPath}}));
    settings.setValue(QStringLiteral("autoLoad"), true);
    settings.setValue(QStringLiteral("autoRecord"), true);
    settings.setValue(QStringLiteral("keepAlive"), false);
    settings.endGroup();
    settings.sync();
    QCOMPARE(settings.status(), QSettings::NoError);
}

void TestAcceptanceAutostart::startProgram()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_home->path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->filePath(QStringLiteral(".config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_home->filePath(QStringLiteral(".local/share")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=true"));
    m_program = std::make_unique<QProcess>();
    m_program->setProcessEnvironment(env);
    m_program->setWorkingDirectory(m_home->path());
    m_program->setProcessChannelMode(QProcess::MergedChannels);
    m_program->start(QStringLiteral(VELMORAN_LITE_PATH), {});
    QVERIFY2(m_program->waitForStarted(5000), qPrintable(m_program->errorString()));
}

void TestAcceptanceAutostart::theLastProjectRecordsWithoutAnyoneUntilTheSessionEnds()
{
    const QString projectPath = m_home->filePath(QStringLiteral("Night.tpc"));
    const QString databasePath = m_home->filePath(QStringLiteral("Night.dat"));
    QVERIFY(writeProject(projectPath, 1000));
    writeSettings(QStringLiteral("Night"), projectPath);
    startProgram();

    const QList<SimProcess::Logger> loggers = m_sim.loggers();
    QList<int> answersBefore;
    for (const SimProcess::Logger &logger : loggers)
        answersBefore.append(m_sim.command("count " + logger.id).mid(3).toInt());
    // Start-up pauses 2.5 s; two loggers at 1 s fill a 16-row batch in about 8 s.
    QTRY_VERIFY2_WITH_TIMEOUT(
        [&] {
            for (const SimProcess::Logger &logger : loggers)
                if (storedRowCount(databasePath, logger.deviceNumber) < 8)
                    return false;
            return true;
        }(),
        qPrintable(QString::fromLocal8Bit(m_program->readAll())), 20000);
    QCOMPARE(m_program->state(), QProcess::Running);
    QVERIFY(!ProjectFile::readString(projectPath, QStringLiteral("record_start_time")).isEmpty());

    // Nobody stops the recording: the session ends and asks the program to stop. What was
    // still queued is written, with the break row, before it goes.
    m_program->terminate();
    QVERIFY(m_program->waitForFinished(10000));
    QCOMPARE(m_program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program->exitCode(), 0);

    QList<StoredRow> rows;
    QVERIFY(readStoredRows(databasePath, &rows));
    quint32 last = 0;
    for (int i = 0; i < loggers.size(); ++i) {
        const QList<StoredRow> own = rowsOf(rows, loggers[i].deviceNumber);
        QVERIFY(own.size() >= 9);
        QVERIFY(own.last().isBreak());
        for (const StoredRow &row : own.mid(0, own.size() - 1)) {
            QVERIFY(row.channel1 && row.channel2);
            QVERIFY(*row.channel1 >= 20 + i && *row.channel1 <= 20.9 + i + 1e-9);
            QVERIFY(*row.channel2 >= 40 + i && *row.channel2 <= 42 + i);
            last = std::max(last, row.pointDate);
        }
        // Every answer but one in flight at the end is stored.
        const int answers =
            m_sim.command("count " + loggers[i].id).mid(3).toInt() - answersBefore[i];
        QVERIFY2(
            own.size() - 1 >= answers - 1,
            qPrintable(QStringLiteral("%1 rows for %2 answers").arg(own.size() - 1).arg(answers)));
    }
    QCOMPARE(
        ProjectFile::readString(projectPath, QStringLiteral("record_stop_time")),
        QDateTime::fromSecsSinceEpoch(last + 1).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

void TestAcceptanceAutostart::aDatabaseThatCannotBeOpenedIsReportedAndLeftUntouched_data()
{
    QTest::addColumn<bool>("directory");
    QTest::newRow("a folder where the database should be") << true;
    QTest::newRow("a file that is not a database") << false;
}

void TestAcceptanceAutostart::aDatabaseThatCannotBeOpenedIsReportedAndLeftUntouched()
{
    QFETCH(bool, directory);
    const QString projectPath = m_home->filePath(QStringLiteral("Broken.tpc"));
    const QString databasePath = m_home->filePath(QStringLiteral("Broken.dat"));
    QVERIFY(writeProject(projectPath, 1000));
    const QByteArray foreign = "these are somebody's notes, not a database\n";
    if (directory) {
        QVERIFY(QDir().mkpath(databasePath));
    } else {
        QFile file(databasePath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(foreign);
    }
    writeSettings(QStringLiteral("Broken"), projectPath);
    startProgram();

    // It says which file and why, then waits at its "Create database error!" box for someone
    // to read it; it neither crashes nor touches the file.
    QString output;
    QTRY_VERIFY2_WITH_TIMEOUT((output += QString::fromLocal8Bit(m_program->readAll()))
                                  .contains(QStringLiteral("[ERROR] Create database error")),
                              qPrintable(output), 10000);
    QVERIFY2(output.contains(databasePath), qPrintable(output));
    QTest::qWait(500);
    QCOMPARE(m_program->state(), QProcess::Running);
    if (directory) {
        QVERIFY(QFileInfo(databasePath).isDir());
        QVERIFY(QDir(databasePath).isEmpty());
    } else {
        QFile file(databasePath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), foreign);
    }
    QVERIFY(!ProjectFile::readDeviceList(projectPath).isEmpty());
}

QTEST_MAIN(TestAcceptanceAutostart)
#include "tst_acceptance_autostart.moc"

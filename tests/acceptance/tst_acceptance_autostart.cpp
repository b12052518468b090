#include "project/projectfile.h"
#include "tests/acceptance/recordeddata.h"
#include "tests/discovery/netnsguard.h"
#include "tests/support/simulatorproject.h"

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
    void cleanup();
    void theLastProjectRecordsUntilTheSessionEndsAndABrokenDatabaseIsLeftAlone();

private:
    QProcess *startProgram(const QString &home, const QString &projectName,
                           const QList<SimProcess::Logger> &loggers);

    SimProcess m_sim;
    QTemporaryDir m_night;
    QTemporaryDir m_broken;
    std::vector<std::unique_ptr<QProcess>> m_programs;
};

void TestAcceptanceAutostart::initTestCase()
{
    // The program broadcasts only when asked; the namespace makes sure of it.
    REQUIRE_DISCOVERY_NAMESPACE();
    QVERIFY(QFileInfo::exists(QStringLiteral(VELMORAN_LITE_PATH)));
    QVERIFY(m_sim.start({"--bind", "10.99.0.1", "--tcp", "2", "--tcp-base-port", "0"}));
}

void TestAcceptanceAutostart::cleanup()
{
    for (auto &program : m_programs) {
        program->kill();
        program->waitForFinished(5000);
    }
    m_programs.clear();
}

// Writes the project and the settings file the program reads through QSettings in its native
// format (an INI file below XDG_CONFIG_HOME), then starts it in that home.
QProcess *TestAcceptanceAutostart::startProgram(const QString &home, const QString &projectName,
                                                const QList<SimProcess::Logger> &loggers)
{
    const QString projectPath = QDir(home).filePath(projectName + ".tpc");
    if (!writeSimulatorProject(projectPath, loggers, 1000, {}, {"Night", "B", "C", "D"}))
        return nullptr;
    QSettings settings(QDir(home).filePath(".config/VelmoranLite/Velmoran Lite.conf"),
                       QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("RecentProjects"));
    settings.setValue(QStringLiteral("list"), QStringList{projectName});
    settings.setValue(QStringLiteral("projects"),
                      QVariant(QHash<QString, QVariant>{{projectName, projectPath}}));
    settings.setValue(QStringLiteral("autoLoad"), true);
    settings.setValue(QStringLiteral("autoRecord"), true);
    settings.setValue(QStringLiteral("keepAlive"), false);
    settings.endGroup();
    settings.sync();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QDir(home).filePath(".config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), QDir(home).filePath(".local/share"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=true"));
    m_programs.push_back(std::make_unique<QProcess>());
    QProcess *program = m_programs.back().get();
    program->setProcessEnvironment(env);
    program->setWorkingDirectory(home);
    program->setProcessChannelMode(QProcess::MergedChannels);
    program->start(QStringLiteral(VELMORAN_LITE_PATH), {});
    return program->waitForStarted(5000) ? program : nullptr;
}

// Two sessions at once: one records its project, the other (without loggers, so that every
// answer counted is the first one's) finds a file that is not a database in its database's place.
void TestAcceptanceAutostart::
    theLastProjectRecordsUntilTheSessionEndsAndABrokenDatabaseIsLeftAlone()
{
    const QString databasePath = QDir(m_night.path()).filePath("Night.dat");
    const QString brokenPath = QDir(m_broken.path()).filePath("Broken.dat");
    const QByteArray foreign = "these are somebody's notes, not a database\n";
    {
        QFile file(brokenPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(foreign);
    }
    const QList<SimProcess::Logger> loggers = m_sim.loggers();
    QList<int> answersBefore;
    for (const SimProcess::Logger &logger : loggers)
        answersBefore.append(answerCount(m_sim, logger.id));
    QProcess *night = startProgram(m_night.path(), "Night", loggers);
    QProcess *broken = startProgram(m_broken.path(), "Broken", {});
    QVERIFY(night && broken);

    // It says which file and why, then waits at its "Create database error!" box for someone
    // to read it; it neither crashes nor touches the file.
    QString output;
    QTRY_VERIFY2_WITH_TIMEOUT((output += QString::fromLocal8Bit(broken->readAll()))
                                  .contains(QStringLiteral("[ERROR] Create database error")),
                              qPrintable(output), 10000);
    QVERIFY2(output.contains(brokenPath), qPrintable(output));

    // Start-up pauses 2.5 s; then both loggers answer a few polls.
    QTRY_VERIFY2_WITH_TIMEOUT(answerCount(m_sim, loggers[0].id) >= answersBefore[0] + 4 &&
                                  answerCount(m_sim, loggers[1].id) >= answersBefore[1] + 4,
                              qPrintable(QString::fromLocal8Bit(night->readAll())), 15000);
    QCOMPARE(night->state(), QProcess::Running);
    const QString projectPath = QDir(m_night.path()).filePath("Night.tpc");
    QVERIFY(!ProjectFile::readString(projectPath, QStringLiteral("record_start_time")).isEmpty());

    // Nobody stops the recording: the session ends and asks the program to stop. What was
    // still queued is written, with the break row, before it goes.
    night->terminate();
    QVERIFY(night->waitForFinished(10000));
    QCOMPARE(night->exitStatus(), QProcess::NormalExit);
    QCOMPARE(night->exitCode(), 0);

    quint32 last = 0;
    for (int i = 0; i < loggers.size(); ++i) {
        const QList<StoredRow> own = storedRows(databasePath, loggers[i].deviceNumber);
        QVERIFY(own.size() >= 4);
        QVERIFY(own.last().isBreak());
        for (const StoredRow &row : own.mid(0, own.size() - 1)) {
            QVERIFY(row.channel1 && row.channel2);
            QVERIFY(*row.channel1 >= 20 + i && *row.channel1 <= 20.9 + i + 1e-9);
            QVERIFY(*row.channel2 >= 40 + i && *row.channel2 <= 42 + i);
            last = std::max(last, row.pointDate);
        }
        // Every answer but one in flight at the end is stored.
        const int answers = answerCount(m_sim, loggers[i].id) - answersBefore[i];
        QVERIFY2(
            own.size() - 1 >= answers - 1,
            qPrintable(QStringLiteral("%1 rows, %2 answers").arg(own.size() - 1).arg(answers)));
    }
    QCOMPARE(ProjectFile::readString(projectPath, QStringLiteral("record_stop_time")),
             timeText(last + 1));

    QCOMPARE(broken->state(), QProcess::Running);
    QFile file(brokenPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), foreign);
    QVERIFY(!ProjectFile::readDeviceList(QDir(m_broken.path()).filePath("Broken.tpc")).isEmpty());
}

QTEST_MAIN(TestAcceptanceAutostart)
#include "tst_acceptance_autostart.moc"

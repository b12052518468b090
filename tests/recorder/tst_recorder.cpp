// The recording core with no window, in this process and as velmoran-lite --headless runs it.
#include "device/configureddevice.h"
#include "device/telnetdevice.h"
#include "project/projectfile.h"
#include "recorder/recorder.h"
#include "store/insertserialdata.h"
#include "tests/support/simulatorproject.h"
#include "tests/support/sqlprobe.h"
#include "tests/support/tempproject.h"

#include <QDateTime>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <memory>

namespace {
// What the window and the headless mode do to open a project: its devices, its store, polling.
std::unique_ptr<Recorder> openProject(const QString &path)
{
    QList<DeviceRecord> records;
    ProjectInfo info;
    if (!ProjectFile::parseDeviceList(ProjectFile::readDeviceList(path), &records) ||
        !ProjectFile::readInfo(path, &info))
        return nullptr;
    auto recorder = std::make_unique<Recorder>();
    QList<ConfiguredDevice *> devices;
    ProjectFile::applyRecords(records, &devices, false);
    recorder->setDevices(devices);
    recorder->setPollInterval(info.dataInterval);
    if (recorder->openStore(path) != Recorder::OpenResult::Opened)
        return nullptr;
    recorder->startPolling();
    return recorder;
}

// pointDate and whether channel 1 has a value, of each row of the logger in insertion order.
QList<QVariantList> storedSamples(const QString &databasePath, const QString &serial)
{
    return sqlRows(databasePath,
                   "select pointDate, channel1 is not null from kestrelix where serialno = ? "
                   "order by id",
                   {serial});
}

QString timeText(const QVariant &seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds.toLongLong()).toString("yyyy-MM-dd hh:mm:ss");
}

std::unique_ptr<QProcess> startHeadless(const QString &project)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    process->setProcessEnvironment(env);
    process->start(QStringLiteral(VELMORAN_LITE_PATH), {"--headless", project});
    return process;
}

int exitCode(QProcess *process)
{
    if (!process->waitForFinished(15000) || process->exitStatus() != QProcess::NormalExit)
        return -1;
    return process->exitCode();
}

bool waitForLine(QProcess *process, const QString &text)
{
    QString seen;
    const bool found = QTest::qWaitFor(
        [&] { return (seen += process->readAllStandardError()).contains(text); }, 10000);
    if (!found)
        qWarning().noquote() << seen;
    return found;
}
} // namespace

class TestRecorder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        // Drifting values keep any two answers of a logger apart, however fast the polls come.
        QVERIFY(m_sim.start(
            {"--tcp", "2", "--tcp-base-port", "0", "--drift", "tcp0:1", "--drift", "tcp1:1"}));
        m_dir = std::make_unique<TempProjectDir>();
    }

    void cleanup() { m_recorder.reset(); }

    void rowsAreFlushedOnceTheThresholdWaitsAndStopWritesTheRest_data()
    {
        QTest::addColumn<int>("loggers");
        QTest::newRow("one logger, eight rows") << 1;
        QTest::newRow("two loggers, sixteen rows") << 2;
    }
    void rowsAreFlushedOnceTheThresholdWaitsAndStopWritesTheRest()
    {
        QFETCH(int, loggers);
        const QString path = m_dir->projectPath(QString::number(loggers));
        const QList<SimProcess::Logger> all = {m_sim.logger("tcp0"), m_sim.logger("tcp1")};
        QVERIFY(writeSimulatorProject(path, all.mid(0, loggers), 1000, {-100, 100, -100, 200}));
        m_recorder = openProject(path);
        QVERIFY(m_recorder);
        m_recorder->stopPolling();
        InsertSerialData *store = m_recorder->store();
        QSignalSpy received(m_recorder.get(), &Recorder::sampleReceived);
        QSignalSpy connections(m_recorder.get(), &Recorder::connectionChanged);
        QSignalSpy started(m_recorder.get(), &Recorder::recordingStarted);
        QSignalSpy range(m_recorder.get(), &Recorder::recordedRangeChanged);
        QSignalSpy alarms(m_recorder.get(), &Recorder::alarmChanged);
        QVERIFY(m_recorder->startRecording());
        QCOMPARE(started.size(), 1);
        QCOMPARE(ProjectFile::readString(path, "record_start_time"),
                 started.at(0).at(0).toString());

        const auto pollOnce = [&] {
            const int before = received.size();
            m_recorder->poll();
            return QTest::qWaitFor([&] { return received.size() >= before + loggers; }, 5000);
        };
        QTRY_COMPARE(received.size(), loggers); // the first poll of startPolling()
        while (m_recorder->pendingRows().count() < 8 * loggers) {
            m_recorder->flush();
            QCOMPARE(store->totalRow(), 0);
            QVERIFY(pollOnce());
        }
        m_recorder->flush();
        const int stored = store->totalRow();
        QCOMPARE(stored, 8 * loggers);
        QVERIFY(pollOnce());
        const int queued = m_recorder->pendingRows().count();
        m_recorder->stopRecording();
        QCOMPARE(connections.size(), loggers);
        QVERIFY(connections.at(0).at(1).toBool());
        QCOMPARE(m_recorder->pendingRows().count(), 0);
        QCOMPARE(store->totalRow(), stored + queued + loggers);

        const QList<QVariantList> samples =
            storedSamples(store->databasePath(), all.first().deviceNumber);
        QCOMPARE(samples.size(), (stored + queued) / loggers + 1);
        QVERIFY(!samples.last().at(1).toBool());
        QCOMPARE(samples.last().at(0).toUInt(), samples[samples.size() - 2].at(0).toUInt() + 1);
        for (int i = 0; i + 1 < samples.size(); ++i)
            QVERIFY(samples[i].at(1).toBool());
        const QString start = timeText(samples.first().at(0));
        const QString end = timeText(samples.last().at(0));
        QCOMPARE(ProjectFile::readString(path, "record_start_time"), start);
        QCOMPARE(ProjectFile::readString(path, "record_stop_time"), end);
        QCOMPARE(m_recorder->recordEndText(), end);
        QCOMPARE(range.size(), 1);
        QCOMPARE(range.at(0), QVariantList({start, end}));

        // A second recording keeps the start text. The database refuses the write at its stop:
        // that is said once, and the rows are written once it takes them.
        QSignalSpy errors(m_recorder.get(), &Recorder::storeError);
        QVERIFY(m_recorder->startRecording());
        QCOMPARE(m_recorder->recordStartText(), start);
        QVERIFY(pollOnce());
        {
            QSqlDatabase blocker = QSqlDatabase::addDatabase("QSQLITE", "blocker");
            blocker.setDatabaseName(store->databasePath());
            QVERIFY(blocker.open());
            QSqlQuery lock(blocker);
            QVERIFY(lock.exec("BEGIN EXCLUSIVE"));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("stay queued"));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refuses the write"));
            m_recorder->stopRecording();
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("stay queued"));
            m_recorder->drainStep();
            QCOMPARE(errors.size(), 1);
            QCOMPARE(errors.at(0).at(0).toString(),
                     QStringLiteral("Unable to write the database.\nPlease check the disk."));
            QVERIFY(m_recorder->pendingRows().count() > 0);
            QVERIFY(lock.exec("ROLLBACK"));
        }
        QSqlDatabase::removeDatabase("blocker");
        QVERIFY(QTest::qWaitFor([&] {
            m_recorder->drainStep();
            return m_recorder->pendingRows().count() == 0;
        }));
        QCOMPARE(ProjectFile::readString(path, "record_start_time"), start);
        const QVariantList last =
            storedSamples(store->databasePath(), all.first().deviceNumber).last();
        QVERIFY(!last.at(1).toBool());
        QCOMPARE(ProjectFile::readString(path, "record_stop_time"), timeText(last.at(0)));

        // A channel out of its range raises the alarm, and back in clears it.
        ConfiguredDevice *device = m_recorder->devices().first();
        device->setAlarmRange(1000, 2000, -100, 200);
        QVERIFY(pollOnce());
        QTRY_COMPARE(alarms.size(), 1);
        QCOMPARE(alarms.at(0).mid(1), QVariantList({true, false}));
        QVERIFY(m_recorder->hasAlarm());
        device->setAlarmRange(-100, 100, -100, 200);
        QVERIFY(pollOnce());
        QTRY_COMPARE(alarms.size(), 2);
        QVERIFY(!m_recorder->hasAlarm());
        m_recorder->closeStore();
        QVERIFY(!m_recorder->startRecording());
        QCOMPARE(errors.size(), 2);
        QCOMPARE(errors.at(1).at(0).toString(), QStringLiteral("Database does not exist."));
    }

    void anEntryWithoutSerialAndASilentLoggerHoldUpNoRow()
    {
        // tcp0's entry has lost its DeviceNumber; tcp1 does not listen and stores nothing.
        const QString path = m_dir->projectPath("Unnamed");
        QVERIFY(writeSimulatorProject(path, {m_sim.logger("tcp0"), m_sim.logger("tcp1")}, 100));
        QByteArray list = ProjectFile::readDeviceList(path);
        list.replace('"' + m_sim.logger("tcp0").deviceNumber.toLatin1() + '"', "null");
        QSettings(path, QSettings::IniFormat).setValue("DeviceList", list);
        QCOMPARE(m_sim.command("stop tcp1"), QStringLiteral("ok"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("WARNING.*DeviceNumber"));
        m_recorder = openProject(path);
        QVERIFY(m_recorder);
        QVERIFY(m_recorder->startRecording());
        QTRY_VERIFY_WITH_TIMEOUT(m_recorder->pendingRows().count() >= 2, 5000);
        m_recorder->stopRecording();
        QCOMPARE(m_sim.command("start tcp1"), QStringLiteral("ok"));

        QCOMPARE(m_recorder->pendingRows().count(), 0);
        const QString database = m_recorder->store()->databasePath();
        const QList<QVariantList> unnamed = storedSamples(database, QString(""));
        QVERIFY(unnamed.size() >= 3);
        QVERIFY(!unnamed.last().at(1).toBool());
        QCOMPARE(unnamed.last().at(0).toUInt(), unnamed[unnamed.size() - 2].at(0).toUInt() + 1);
        QVERIFY(storedSamples(database, m_sim.logger("tcp1").deviceNumber).isEmpty());
        QCOMPARE(ProjectFile::readString(path, "record_start_time"),
                 timeText(unnamed.first().at(0)));
    }

    void devicesTakeTheIntervalAlsoWhenHandedOverLater()
    {
        Recorder recorder;
        recorder.setPollInterval(1000);
        auto *first = new ConfiguredDevice(QStringLiteral("024B58000001"), LINK_TCP);
        recorder.setDevices({first});
        auto *later = new ConfiguredDevice(QStringLiteral("024B58000002"), LINK_TCP);
        recorder.setDevices({first, later});
        QCOMPARE(static_cast<TelnetDevice *>(later->link())->pollInterval(), 1000);
        recorder.setPollInterval(60000);
        QCOMPARE(first->pollInterval(), 60000);
        QCOMPARE(static_cast<TelnetDevice *>(first->link())->pollInterval(), 60000);
    }

    // A second recorder of the project is refused while the first runs; a dead one's lock is
    // taken over; SIGTERM and SIGINT stop a recording cleanly.
    void headlessRecordsUntilSignalledAndHoldsTheProjectAlone()
    {
        const QString path = m_dir->projectPath("Cold");
        QVERIFY(
            writeSimulatorProject(path, {m_sim.logger("tcp0")}, 100, {-1000, 1000, -1000, 1000}));
        const int before = simCount("tcp0");
        auto first = startHeadless(path);
        QVERIFY(waitForLine(first.get(), "recording started"));
        auto second = startHeadless(path);
        QCOMPARE(exitCode(second.get()), 4);
        const QString refusal = QString::fromLocal8Bit(second->readAllStandardError());
        QVERIFY2(refusal.contains("is being recorded by another program (process " +
                                  QString::number(first->processId())),
                 qPrintable(refusal));
        QTRY_VERIFY_WITH_TIMEOUT(simCount("tcp0") >= before + 3, 10000);
        ::kill(first->processId(), SIGTERM);
        QCOMPARE(exitCode(first.get()), 0);
        const QString database = ProjectFile::databasePath(path);
        const QVariantList rows = sqlRows(database,
                                          "select count(*), count(*) - count(channel1) from "
                                          "kestrelix where serialno = ?",
                                          {m_sim.logger("tcp0").deviceNumber})
                                      .value(0);
        QVERIFY2(rows.value(0).toInt() >= 4, qPrintable(rows.value(0).toString()));
        QCOMPARE(rows.value(1).toInt(), 1);
        QStringList kinds;
        for (const QVariantList &row : sqlRows(database, "select kind from kestrelix_event"))
            kinds << row.at(0).toString();
        QCOMPARE(kinds, QStringList({"recording started", "recording stopped"}));
        QVERIFY(!ProjectFile::readString(path, "record_stop_time").isEmpty());
        QVERIFY(!QFile::exists(database + ".lock"));

        auto dead = startHeadless(path);
        QVERIFY(waitForLine(dead.get(), "recording"));
        dead->kill();
        QVERIFY(dead->waitForFinished(5000));
        auto third = startHeadless(path);
        QVERIFY(waitForLine(third.get(), "recording"));
        ::kill(third->processId(), SIGINT);
        QCOMPARE(exitCode(third.get()), 0);
    }

    void headlessEndsWithTheExitCodeOfAProjectItCannotRecord_data()
    {
        QTest::addColumn<QString>("project");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "Missing" << 2 << "does not exist";
        QTest::newRow("no devices") << "Empty" << 2 << "has no devices";
        QTest::newRow("no database") << "Nowhere" << 3 << "cannot be opened";
    }
    void headlessEndsWithTheExitCodeOfAProjectItCannotRecord()
    {
        QFETCH(QString, project);
        QFETCH(int, code);
        QFETCH(QString, message);
        const QString path = m_dir->projectPath(project);
        if (project != "Missing")
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
    int simCount(const QString &id) { return m_sim.command("count " + id).mid(3).toInt(); }

    SimProcess m_sim;
    std::unique_ptr<TempProjectDir> m_dir;
    std::unique_ptr<Recorder> m_recorder;
};

QTEST_GUILESS_MAIN(TestRecorder)
#include "tst_recorder.moc"

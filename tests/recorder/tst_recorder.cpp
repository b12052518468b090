#include "device/configureddevice.h"
#include "device/telnetdevice.h"
#include "project/projectfile.h"
#include "recorder/recorder.h"
#include "store/insertserialdata.h"
#include "tests/support/simprocess.h"
#include "tests/support/simulatorproject.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"

#include <QFile>
#include <QSignalSpy>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
// Limits wide enough that the simulator's values never alarm unless a test narrows them.
const AlarmLimits WIDE_LIMITS = {-100, 100, -100, 200};

bool writeLoggerProject(const QString &path, const QList<SimProcess::Logger> &loggers, int interval,
                        const AlarmLimits &limits = WIDE_LIMITS)
{
    return writeSimulatorProject(path, loggers, interval, limits);
}

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

struct Sample
{
    quint32 pointDate = 0;
    bool hasValue = false;
};

// Rows of one logger as the sibling programs would read them, in insertion order.
QList<Sample> storedSamples(const QString &databasePath, const QString &serial)
{
    QList<Sample> samples;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "reader");
        db.setDatabaseName(databasePath);
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare("select pointDate, channel1 from kestrelix where serialno = ? "
                          "order by id");
            query.addBindValue(serial);
            if (query.exec()) {
                while (query.next())
                    samples.append({query.value(0).toUInt(), !query.value(1).isNull()});
            }
        }
    }
    QSqlDatabase::removeDatabase("reader");
    return samples;
}

QString timeText(quint32 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toString("yyyy-MM-dd hh:mm:ss");
}

// Watches the row count of the store while the event loop runs; a flush below the threshold
// shows up as a count between 1 and threshold - 1.
class RowCountWatch
{
public:
    explicit RowCountWatch(InsertSerialData *store)
    {
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this, store] { m_seen.append(store->totalRow()); });
        m_timer.start(100);
    }
    QList<int> seen() const { return m_seen; }

private:
    QTimer m_timer;
    QList<int> m_seen;
};
} // namespace

class TestRecorder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        QVERIFY(m_sim.start({"--tcp", "2", "--tcp-base-port", "0"}));
        m_dir = std::make_unique<TempProjectDir>();
    }

    void cleanup()
    {
        if (QTest::currentTestFailed())
            m_recorder.reset();
    }

    void oneLoggerIsFlushedOnceEightRowsWaitAndStopWritesTheRest()
    {
        const SimProcess::Logger logger = m_sim.logger("tcp0");
        const QString path = m_dir->projectPath("One");
        QVERIFY(writeLoggerProject(path, {logger}, 1000));
        m_recorder = openProject(path);
        QVERIFY(m_recorder);
        QCOMPARE(m_recorder->devices().size(), 1);
        InsertSerialData *store = m_recorder->store();
        QVERIFY(store && store->isConnected());
        QSignalSpy received(m_recorder.get(), &Recorder::sampleReceived);
        QSignalSpy connections(m_recorder.get(), &Recorder::connectionChanged);
        QSignalSpy started(m_recorder.get(), &Recorder::recordingStarted);
        QSignalSpy stopped(m_recorder.get(), &Recorder::recordingStopped);
        QSignalSpy range(m_recorder.get(), &Recorder::recordedRangeChanged);
        QVERIFY(m_recorder->startRecording());
        QVERIFY(m_recorder->isRecording());
        QCOMPARE(started.size(), 1);
        QCOMPARE(ProjectFile::readString(path, "record_start_time"),
                 started.at(0).at(0).toString());

        RowCountWatch watch(store);
        QTRY_VERIFY_WITH_TIMEOUT(store->totalRow() >= 8, 15000);
        for (int count : watch.seen())
            QVERIFY2(count == 0 || count >= 8, qPrintable(QString::number(count)));

        QTRY_VERIFY_WITH_TIMEOUT(m_recorder->pendingRows().count() > 0, 3000);
        const int stored = store->totalRow();
        const int queued = m_recorder->pendingRows().count();
        m_recorder->stopRecording();
        QCOMPARE(stopped.size(), 1);
        QVERIFY(received.size() >= stored + queued);
        QCOMPARE(connections.size(), 1);
        QCOMPARE(connections.at(0).at(1).toBool(), true);
        QCOMPARE(m_recorder->pendingRows().count(), 0);
        QCOMPARE(store->totalRow(), stored + queued + 1);

        const QList<Sample> samples = storedSamples(store->databasePath(), logger.deviceNumber);
        QCOMPARE(samples.size(), stored + queued + 1);
        QVERIFY(!samples.last().hasValue);
        QCOMPARE(samples.last().pointDate, samples[samples.size() - 2].pointDate + 1);
        for (int i = 0; i + 1 < samples.size(); ++i)
            QVERIFY(samples[i].hasValue);

        const QString start = timeText(samples.first().pointDate);
        const QString end = timeText(samples.last().pointDate);
        QCOMPARE(ProjectFile::readString(path, "record_start_time"), start);
        QCOMPARE(ProjectFile::readString(path, "record_stop_time"), end);
        QCOMPARE(m_recorder->recordStartText(), start);
        QCOMPARE(m_recorder->recordEndText(), end);
        QCOMPARE(range.size(), 1);
        QCOMPARE(range.at(0).at(0).toString(), start);
        QCOMPARE(range.at(0).at(1).toString(), end);
        m_strFirstStart = start;
    }

    void aSecondRecordingKeepsTheStartText()
    {
        QVERIFY2(m_recorder, "needs the project of the test before");
        const QString path = m_recorder->projectFile();
        QVERIFY(m_recorder->startRecording());
        QVERIFY(m_recorder->isRecording());
        QCOMPARE(m_recorder->recordStartText(), m_strFirstStart);
        QCOMPARE(ProjectFile::readString(path, "record_start_time"), m_strFirstStart);

        m_recorder->stopRecording();
        QCOMPARE(ProjectFile::readString(path, "record_start_time"), m_strFirstStart);
        m_recorder->closeStore();
        QVERIFY(!m_recorder->store());
        m_recorder.reset();
    }

    void twoLoggersAreFlushedOnceSixteenRowsWait()
    {
        const QString path = m_dir->projectPath("Two");
        QVERIFY(writeLoggerProject(path, {m_sim.logger("tcp0"), m_sim.logger("tcp1")}, 1000));
        m_recorder = openProject(path);
        QVERIFY(m_recorder);
        QCOMPARE(m_recorder->devices().size(), 2);
        InsertSerialData *store = m_recorder->store();
        QVERIFY(m_recorder->startRecording());

        RowCountWatch watch(store);
        QTRY_VERIFY_WITH_TIMEOUT(store->totalRow() >= 16, 15000);
        for (int count : watch.seen())
            QVERIFY2(count == 0 || count >= 16, qPrintable(QString::number(count)));

        m_recorder->stopRecording();
        const QList<Sample> first =
            storedSamples(store->databasePath(), m_sim.logger("tcp0").deviceNumber);
        const QList<Sample> second =
            storedSamples(store->databasePath(), m_sim.logger("tcp1").deviceNumber);
        QVERIFY(first.size() >= 9);
        QVERIFY(second.size() >= 9);
        QVERIFY(!first.last().hasValue);
        QVERIFY(!second.last().hasValue);
        m_recorder.reset();
    }

    void anEntryWithoutSerialAndASilentLoggerHoldUpNoRow()
    {
        // tcp0's entry has lost its DeviceNumber; tcp1 does not listen and stores nothing.
        const QString path = m_dir->projectPath("Unnamed");
        const QString serial0 = m_sim.logger("tcp0").deviceNumber;
        const QString serial1 = m_sim.logger("tcp1").deviceNumber;
        QVERIFY(writeLoggerProject(path, {m_sim.logger("tcp0"), m_sim.logger("tcp1")}, 1000));
        {
            QSettings settings(path, QSettings::IniFormat);
            QJsonObject root =
                QJsonDocument::fromJson(settings.value("DeviceList").toByteArray()).object();
            QJsonArray devices = root.value("devices").toArray();
            for (int i = 0; i < devices.size(); ++i) {
                QJsonObject entry = devices.at(i).toObject();
                if (entry.value("DeviceNumber").toString() == serial0)
                    entry.insert("DeviceNumber", QJsonValue::Null);
                devices.replace(i, entry);
            }
            root.insert("devices", devices);
            settings.setValue("DeviceList", QJsonDocument(root).toJson(QJsonDocument::Compact));
        }
        QCOMPARE(m_sim.command("stop tcp1"), QStringLiteral("ok"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("WARNING.*DeviceNumber"));
        m_recorder = openProject(path);
        QVERIFY(m_recorder);
        InsertSerialData *store = m_recorder->store();
        QVERIFY(store);
        QVERIFY(m_recorder->startRecording());
        QTRY_VERIFY_WITH_TIMEOUT(m_recorder->pendingRows().count() >= 2, 5000);
        m_recorder->stopRecording();
        QCOMPARE(m_sim.command("start tcp1"), QStringLiteral("ok"));

        QCOMPARE(m_recorder->pendingRows().count(), 0);
        const QList<Sample> unnamed = storedSamples(store->databasePath(), QStringLiteral(""));
        QVERIFY(unnamed.size() >= 3);
        QVERIFY(!unnamed.last().hasValue);
        QCOMPARE(unnamed.last().pointDate, unnamed[unnamed.size() - 2].pointDate + 1);
        QVERIFY(storedSamples(store->databasePath(), serial1).isEmpty());
        QCOMPARE(ProjectFile::readString(path, "record_start_time"),
                 timeText(unnamed.first().pointDate));
        m_recorder.reset();
    }

    void aChannelOutOfItsRangeRaisesAndClearsTheAlarm()
    {
        const QString path = m_dir->projectPath("Alarm");
        QVERIFY(writeLoggerProject(path, {m_sim.logger("tcp0")}, 1000, {1000, 2000, -100, 200}));
        m_recorder = openProject(path);
        QVERIFY(m_recorder);
        QSignalSpy alarms(m_recorder.get(), &Recorder::alarmChanged);
        QTRY_COMPARE_WITH_TIMEOUT(alarms.size(), 1, 5000);
        QCOMPARE(alarms.at(0).at(1).toBool(), true);
        QCOMPARE(alarms.at(0).at(2).toBool(), false);
        QVERIFY(m_recorder->hasAlarm());

        ConfiguredDevice *device = m_recorder->devices().first();
        device->setAlarmRange(-100, 100, -100, 200);
        m_recorder->poll();
        QTRY_COMPARE_WITH_TIMEOUT(alarms.size(), 2, 5000);
        QCOMPARE(alarms.at(1).at(1).toBool(), false);
        QVERIFY(!m_recorder->hasAlarm());
        m_recorder.reset();
    }

    void aRefusedWriteIsReportedOnceAndItsRowsWrittenLater()
    {
        const QString path = m_dir->projectPath("Refused");
        QVERIFY(writeLoggerProject(path, {m_sim.logger("tcp0")}, 1000));
        m_recorder = openProject(path);
        QVERIFY(m_recorder);
        QSignalSpy errors(m_recorder.get(), &Recorder::storeError);
        QVERIFY(m_recorder->startRecording());
        QTRY_VERIFY_WITH_TIMEOUT(m_recorder->pendingRows().count() >= 2, 5000);

        const QString databasePath = m_recorder->store()->databasePath();
        {
            QSqlDatabase blocker = QSqlDatabase::addDatabase("QSQLITE", "blocker");
            blocker.setDatabaseName(databasePath);
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
        QTRY_COMPARE_WITH_TIMEOUT(m_recorder->pendingRows().count(), 0, 5000);
        const QList<Sample> samples =
            storedSamples(databasePath, m_sim.logger("tcp0").deviceNumber);
        QVERIFY(samples.size() >= 3);
        QVERIFY(!samples.last().hasValue);
        QTRY_COMPARE_WITH_TIMEOUT(ProjectFile::readString(path, "record_stop_time"),
                                  timeText(samples.last().pointDate), 5000);

        m_recorder->closeStore();
        QVERIFY(!m_recorder->startRecording());
        QCOMPARE(errors.size(), 2);
        QCOMPARE(errors.at(1).at(0).toString(), QStringLiteral("Database does not exist."));
        m_recorder.reset();
    }

    void devicesTakeTheIntervalAlsoWhenHandedOverLater()
    {
        Recorder recorder;
        recorder.setPollInterval(1000);
        auto *first = new ConfiguredDevice(QStringLiteral("024B58000001"), LINK_TCP);
        recorder.setDevices({first});
        QCOMPARE(first->pollInterval(), 1000);
        auto *later = new ConfiguredDevice(QStringLiteral("024B58000002"), LINK_TCP);
        recorder.setDevices({first, later});
        QCOMPARE(later->pollInterval(), 1000);
        QCOMPARE(static_cast<TelnetDevice *>(later->link())->pollInterval(), 1000);
        recorder.setPollInterval(60000);
        QCOMPARE(first->pollInterval(), 60000);
        QCOMPARE(static_cast<TelnetDevice *>(first->link())->pollInterval(), 60000);
    }

    void aSecondRecorderOfTheProjectIsRefusedUntilTheFirstCloses()
    {
        const QString path = m_dir->projectPath("Locked");
        QVERIFY(writeLoggerProject(path, {m_sim.logger("tcp0")}, 1000));
        m_recorder = openProject(path);
        QVERIFY(m_recorder);
        Recorder second;
        QCOMPARE(second.openStore(path), Recorder::OpenResult::Locked);
        QCOMPARE(second.lockOwner(), QCoreApplication::applicationPid());
        QVERIFY(!second.store());
        m_recorder->closeStore();
        QCOMPARE(second.openStore(path), Recorder::OpenResult::Opened);
        m_recorder.reset();
    }

private:
    SimProcess m_sim;
    std::unique_ptr<TempProjectDir> m_dir;
    std::unique_ptr<Recorder> m_recorder;
    QString m_strFirstStart;
};

QTEST_GUILESS_MAIN(TestRecorder)
#include "tst_recorder.moc"

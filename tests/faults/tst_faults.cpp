// The recording core, the headless program and the whole window under faults, with the logger
// simulator. A full disk and frozen files need root (a private mount namespace); the crash scene
// kills this program started as a recorder ("--record-until-killed").
#include "app/alarmsound.h"
#include "app/velmoranmain.h"
#include "device/alarmeventlog.h"
#include "device/telnetdevice.h"
#include "dialogs/sensingoptiontelnetdialog.h"
#include "discovery/usbenumerator.h"
#include "project/projectfile.h"
#include "recorder/recorder.h"
#include "store/insertserialdata.h"
#include "tests/support/messageprobe.h"
#include "tests/support/simulatorproject.h"
#include "tests/support/sqlprobe.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"
#include "view/dashboarddeviceitem.h"
#include "view/projectcenter.h"

#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {
constexpr int NEWEST = CHART_POINTS - 1;
QString g_strNoPrivateMounts; // why mounts cannot be made here; empty when they can
const QString WRITE_FAILED =
    QStringLiteral("Unable to write the database.\nPlease check the disk.");

// No USB logger is present unless a test puts one on this bus: the machine's own stays out.
class FakeUsbBus : public UsbEnumerator
{
public:
    QList<UsbPortPair> enumerateUsbLoggers() override { return pairs; }
    QList<UsbPortPair> pairs;
};

// The window's timers are held: every poll and flush happens when the test says.
void holdTimers(VelmoranMain *window)
{
    QList<QTimer *> timers = window->findChildren<QTimer *>(Qt::FindDirectChildrenOnly);
    timers += window->recorder()->findChildren<QTimer *>(Qt::FindDirectChildrenOnly);
    for (QTimer *timer : timers)
        timer->stop();
}

// The recording program the crash scene kills: records the project as fast as the loggers
// answer and prints "COMMITTED <rows in the table>" after every committed batch.
int recordUntilKilled(const QString &project)
{
    VelmoranMain window;
    window.projectLoaded(project);
    window.slotStartRecord();
    if (!window.isRecording() || !window.store()) {
        std::fprintf(stderr, "the project does not record\n");
        return 2;
    }
    holdTimers(&window);
    QTimer cycle;
    QObject::connect(&cycle, &QTimer::timeout, &window, [&window] {
        window.writeDevice();
        const int before = window.pendingRows().count();
        window.writeDb();
        if (window.pendingRows().count() < before)
            std::printf("COMMITTED %d\n", window.store()->totalRow());
        std::fflush(stdout);
    });
    cycle.start(5);
    std::printf("RECORDING\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

QString integrityCheck(const QString &databasePath)
{
    return sqlValue(databasePath, QStringLiteral("PRAGMA integrity_check")).toString();
}

// The whole program recording from simulated loggers, with a real project file and database.
class RecordingRig
{
public:
    explicit RecordingRig(SimProcess *sim) : m_pSim(sim) {}
    ~RecordingRig()
    {
        if (m_pWindow && m_pWindow->isRecording())
            m_pWindow->slotStopRecord();
        if (m_pWindow)
            m_pWindow->slotCloseProject();
    }

    // Writes a project of these simulator loggers into folder, loads it and records. The
    // enumerator (owned) stands in for the USB bus, which is empty otherwise.
    bool open(const QString &folder, const QStringList &ids, FakeUsbBus *bus = new FakeUsbBus)
    {
        m_pWindow = std::make_unique<VelmoranMain>();
        m_pWindow->setUsbEnumerator(bus);
        QList<SimProcess::Logger> loggers;
        for (const QString &id : ids) {
            loggers.append(m_pSim->logger(id));
            m_serials.insert(id, loggers.last().deviceNumber);
            m_answersAtOpen.insert(id, simCount(id));
        }
        m_strProjectPath = QDir(folder).filePath(QStringLiteral("Faults.tpc"));
        if (!writeSimulatorProject(m_strProjectPath, loggers, 1000, {-1000, 1000, -1000, 1000}))
            return false;
        ::holdTimers(m_pWindow.get());
        m_pWindow->projectLoaded(m_strProjectPath);
        m_pWindow->slotStartRecord();
        ::holdTimers(m_pWindow.get());
        if (!ids.filter(QStringLiteral("usb")).isEmpty())
            m_pWindow->checkConnection();
        // Loading polls every network logger once; its answers are part of the recording.
        const int tcp = ids.filter(QStringLiteral("tcp")).size();
        return m_pWindow->isRecording() && m_pWindow->configuredDevices().size() == ids.size() &&
               QTest::qWaitFor([&] { return m_pWindow->pendingRows().count() >= tcp; }, 5000);
    }

    VelmoranMain *window() const { return m_pWindow.get(); }
    ConfiguredDevice *device(const QString &id) const
    {
        for (ConfiguredDevice *device : m_pWindow->configuredDevices())
            if (device->deviceNumber() == m_serials.value(id))
                return device;
        return nullptr;
    }
    QString serialOf(const QString &id) const { return m_serials.value(id); }
    QString databasePath() const { return ProjectFile::databasePath(m_strProjectPath); }
    QString projectPath() const { return m_strProjectPath; }
    int simCount(const QString &id) { return m_pSim->command("count " + id).mid(3).toInt(); }
    int answeredSinceOpen(const QString &id) { return simCount(id) - m_answersAtOpen.value(id); }
    int sql(const QString &sql, const QString &id) const
    {
        return sqlValue(databasePath(), sql, {m_serials.value(id)}).toInt();
    }
    int storedRows(const QString &id) const
    {
        return sql(QStringLiteral("select count(*) from kestrelix where serialno = ?"), id);
    }

    // Polls every logger, each time until every answering logger queued a row.
    bool pollAndWait(const QStringList &answering, int polls = 1)
    {
        // A logger that stops answering queues a break row beside its "communication lost".
        const auto samples = [this] {
            const PendingEventQueue &events = m_pWindow->recorder()->pendingEvents();
            int breaks = 0;
            for (int i = 0; i < events.count(); ++i)
                breaks += events.at(i).kind == EventKind::communicationLost;
            return m_pWindow->pendingRows().count() - breaks;
        };
        for (int poll = 0; poll < polls; ++poll) {
            const int before = samples();
            m_pWindow->writeDevice();
            if (!QTest::qWaitFor([&] { return samples() >= before + answering.size(); }, 5000))
                return false;
        }
        return true;
    }

    bool flush()
    {
        m_pWindow->writeDb();
        return m_pWindow->pendingRows().count() == 0;
    }

    // Stops the recording and says what is wrong with the database (empty: nothing): every
    // answer of these loggers must be in it exactly once, beside the one gap row each stop and
    // each lost communication adds, in an intact file. notStored: answers that are no sample at
    // all (a line the program drops).
    QString unstoredAnswers(const QStringList &ids, const QHash<QString, int> &notStored = {})
    {
        const auto samples = [&](const QString &id) {
            return storedRows(id) - sql("select count(*) from kestrelix_event where serialno "
                                        "= ? and kind = 'communication lost'",
                                        id);
        };
        const auto missing = [&] {
            int sum = -m_pWindow->pendingRows().count();
            for (const QString &id : ids)
                sum += answeredSinceOpen(id) - notStored.value(id) - samples(id) + m_nStops;
            return sum;
        };
        // Answers still on their way belong to the recording: wait for them before stopping.
        const bool settled = QTest::qWaitFor([&] { return missing() <= 0; }, 3000);
        m_pWindow->slotStopRecord();
        ++m_nStops;
        for (const QString &id : ids) {
            const int answers = answeredSinceOpen(id) - notStored.value(id);
            if (!settled || samples(id) != answers + m_nStops)
                return QString::asprintf(
                    "%s answered %d polls, the database holds %d rows, %d gaps", qPrintable(id),
                    answers, samples(id), m_nStops);
        }
        const QString integrity = integrityCheck(databasePath());
        return integrity == QLatin1String("ok") ? QString() : integrity;
    }

private:
    SimProcess *m_pSim;
    std::unique_ptr<VelmoranMain> m_pWindow;
    QHash<QString, int> m_answersAtOpen;
    QHash<QString, QString> m_serials;
    QString m_strProjectPath;
    int m_nStops = 0;
};

// kind, value, channel, upperLimit, pointDate, ackBy, ackDate of a logger's events, oldest first.
QList<QVariantList> loggedEvents(const RecordingRig &rig, const QString &id)
{
    return sqlRows(rig.databasePath(),
                   "select kind, value, channel, upperLimit, pointDate, ackBy, ackDate from "
                   "kestrelix_event where serialno = ? order by id",
                   {rig.serialOf(id)});
}

QStringList kinds(const QList<QVariantList> &events)
{
    QStringList list;
    for (const QVariantList &event : events)
        list << event.value(0).toString();
    return list;
}

// Mounts made here stay in this process's own namespace and vanish with it. Returns why not.
QString enterPrivateMountNamespace()
{
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0)
        return QStringLiteral("needs root to mount a small filesystem in a private namespace");
    // Without private propagation the small filesystem would show up outside this test.
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return QStringLiteral("cannot make the mounts below / private (%1)")
            .arg(QString::fromLocal8Bit(::strerror(errno)));
    return QString();
}

// Writes until the filesystem refuses; true when it ended full.
bool fillDisk(const QString &path)
{
    QFile filler(path);
    const QByteArray chunk(16 * 1024, 'x');
    while (filler.isOpen() || filler.open(QIODevice::WriteOnly))
        if (filler.write(chunk) != chunk.size() || !filler.flush())
            break;
    filler.close();
    QFile probe(path + QStringLiteral(".probe"));
    const bool full = !probe.open(QIODevice::WriteOnly) ||
                      probe.write(QByteArray(8192, 'y')) != 8192 || !probe.flush();
    probe.remove();
    return full;
}

// The immutable attribute (chattr +i) stops root too, and on ext4 also writes through
// descriptors opened before.
bool setImmutable(const QStringList &paths, bool immutable)
{
    bool done = true;
    for (const QString &path : paths) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
        int flags = 0;
        done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && done;
        flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = fd >= 0 && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0 && done;
        ::close(fd);
    }
    return done;
}

// Empty when a frozen file refuses writes through a descriptor opened before; else why not.
QString frozenFilesRefuseWrites(const QString &probe)
{
    const QByteArray path = QFile::encodeName(probe);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    QString why = fd < 0 ? QStringLiteral("cannot create ") + probe : QString();
    if (fd >= 0 && !setImmutable({probe}, true))
        why = QStringLiteral("the immutable attribute cannot be set here");
    else if (fd >= 0 && ::pwrite(fd, "x", 1, 0) == 1)
        why = QStringLiteral("the immutable attribute does not stop writes through open files");
    setImmutable({probe}, false);
    ::close(fd);
    ::unlink(path.constData());
    return why;
}

// What the window and the headless mode do to open a project: its devices, its store, polling.
std::unique_ptr<Recorder> openProject(const QString &path)
{
    QList<DeviceRecord> records;
    ProjectInfo info;
    QList<ConfiguredDevice *> devices;
    const bool read = ProjectFile::parseDeviceList(ProjectFile::readDeviceList(path), &records) &&
                      ProjectFile::readInfo(path, &info);
    auto recorder = std::make_unique<Recorder>();
    ProjectFile::applyRecords(records, &devices, false);
    recorder->setDevices(devices);
    recorder->setPollInterval(info.dataInterval);
    // A project that does not open is a broken scene: stop at once, not on a null recorder.
    if (!read || recorder->openStore(path) != Recorder::OpenResult::Opened)
        qFatal("the project %s does not open", qPrintable(path));
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
    const bool ended = process->waitForFinished(15000);
    return ended && process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
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

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        QStringList args = {"--tcp", "4", "--tcp-base-port", "0", "--usb", "1"};
        for (const char *id : {"tcp0", "tcp1", "tcp2", "tcp3", "usb0"})
            args << "--drift" << QString::fromLatin1(id) + ":1";
        QVERIFY(m_sim.start(args));
    }
    void init()
    {
        m_dir = std::make_unique<TempProjectDir>();
        m_strMount = m_dir->filePath(QStringLiteral("disk"));
        QVERIFY(QDir().mkpath(m_strMount));
    }
    void cleanup()
    {
        m_recorder.reset();
        for (const QFileInfo &file : QDir(m_dir->path()).entryInfoList(QDir::Files | QDir::Hidden))
            setImmutable({file.filePath()}, false);
        ::umount2(QFile::encodeName(m_strMount).constData(), MNT_DETACH);
        for (const QString id : {"tcp0", "tcp1", "usb0"})
            for (const QString command : {"fault %1 none", "start %1", "auto %1"})
                m_sim.command(command.arg(id));
    }
    // tcp1 goes out of its range and back: one acknowledged alarm. Then loggers fall silent,
    // refuse or vanish: they are marked gone and recorded again when they answer.
    void anAlarmAndLoggersThatFallSilentRefuseOrVanishAreLoggedAndRecordedAgainWhenTheyAnswer()
    {
        const qint64 begin = QDateTime::currentSecsSinceEpoch();
        auto *bus = new FakeUsbBus;
        const SimProcess::Logger usb = m_sim.logger("usb0");
        bus->pairs = {{usb.address, usb.deviceNumber}};
        RecordingRig rig(&m_sim);
        const QStringList all = {"tcp0", "tcp1", "usb0"};
        QVERIFY(rig.open(m_dir->path(), all, bus) && rig.pollAndWait(all));
        AlarmEventLog *log = rig.window()->eventLog();
        ConfiguredDevice *alarmed = rig.device("tcp1");
        alarmed->setAlarmRange(0, 30, -1000, 1000); // channel 2 keeps the project's limits
        rig.window()->recorder()->clockTick();
        for (const QString value : {"24", "31.50", "36.00", "33.00"}) {
            QVERIFY(sim("values tcp1 " + value + " 40") && rig.pollAndWait(all));
            QCOMPARE(alarmed->alarm1(), value != "24");
        }
        QVERIFY(log->wantsSound(AlarmSound::anyAlarm({alarmed})));
        // Acknowledged in the events window: quiet, while the tile stays red.
        QVERIFY(rig.window()->store()->insertNow()); // the batch a full queue would write
        rig.window()->slotStdTimer();
        rig.window()->projectCenter()->slotShowEvents();
        EventsView *view = rig.window()->projectCenter()->eventsView();
        QVERIFY(view && view->isDatabaseOpen());
        QStringList shown;
        for (const EventRecord &record : view->shownRecords())
            shown << record.row.kind;
        QCOMPARE(shown, QStringList({"alarm started", "limits changed", "recording started"}));
        QCOMPARE(rig.window()->alarmCountLabel()->text(),
                 QStringLiteral("Unacknowledged alarms: 1"));
        view->setOperatorName(QStringLiteral("night shift"));
        view->acknowledgeAll();
        QVERIFY(!log->wantsSound(true) && alarmed->alarm1());
        QVERIFY(sim("values tcp1 25 40") && rig.pollAndWait(all));
        // Drifting again, as every answer must be a row of its own, and within wider limits.
        alarmed->setAlarmRange(-1000, 1000, -1000, 1000);
        rig.window()->recorder()->clockTick();
        QVERIFY(sim("auto tcp1"));
        ConfiguredDevice *silent = rig.device("tcp0");
        QVERIFY(sim("fault tcp0 noanswer"));
        // Five unanswered polls are a short gap at one second; the sixth marks it gone.
        for (int poll = 0; poll < 6; ++poll)
            QVERIFY(silent->isConnected() && rig.pollAndWait({"tcp1", "usb0"}));
        QVERIFY(!silent->isConnected() && silent->ch1Value().isEmpty());
        auto *tile = dynamic_cast<DashBoardDeviceItem *>(silent->ch1Item());
        QVERIFY(tile && tile->isCommunicationLost() && log->wantsSound(false));
        // The option in the events window quiets a lost logger, and the project keeps it.
        auto *option = view->findChild<QCheckBox *>(QStringLiteral("check_communication_loss"));
        option->setChecked(false);
        QVERIFY(!log->wantsSound(false) && !ProjectFile::communicationLossAlarm(rig.projectPath()));
        option->setChecked(true);

        QVERIFY(sim("fault tcp0 none") && rig.pollAndWait(all));
        QVERIFY(silent->isConnected() && !silent->ch1Value().isEmpty());
        QVERIFY(!tile->isCommunicationLost() && !log->wantsSound(false));

        // A logger that refuses connections is gone too, until it listens again: the poll finds
        // the connection closed and opens a new one, and the request follows it.
        QVERIFY(sim("stop tcp1") && rig.pollAndWait({"tcp0", "usb0"}, 6));
        QVERIFY(!rig.device("tcp1")->isConnected());
        QVERIFY(sim("start tcp1") && rig.pollAndWait(all) && rig.device("tcp1")->isConnected());

        // A USB port that disappears is reopened where it reappears: a new pseudo-terminal,
        // which may or may not get the old number back.
        ConfiguredDevice *device = rig.device("usb0");
        QVERIFY(sim("stop usb0"));
        QTRY_VERIFY_WITH_TIMEOUT(!device->isConnected(), 3000);
        bus->pairs.clear();
        rig.window()->checkConnection();
        const int listedWithoutUsb = rig.window()->availableDevices().size();
        QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}, 2) && !device->isConnected());
        QVERIFY(sim("start usb0"));
        const SimProcess::Logger back = m_sim.logger("usb0");
        bus->pairs = {{back.address, back.deviceNumber}};
        rig.window()->checkConnection();
        QCOMPARE(device->deviceInterface(), back.address);
        QVERIFY(ProjectFile::readDeviceList(rig.projectPath()).contains(back.address.toUtf8()));
        QCOMPARE(rig.window()->availableDevices().size(), listedWithoutUsb + 1);
        QVERIFY(rig.pollAndWait(all) && device->isConnected());

        QCOMPARE(rig.unstoredAnswers(all), QString());
        QCOMPARE(rig.window()->recorder()->pendingEvents().count(), 0);
        const QStringList lost = {"communication lost", "communication restored"};
        const QList<QVariantList> events = loggedEvents(rig, "tcp1"),
                                  tcp0 = loggedEvents(rig, "tcp0");
        QCOMPARE(kinds(tcp0), lost);
        QCOMPARE(kinds(events), QStringList({"limits changed", "alarm started", "alarm peak",
                                             "alarm ended", "limits changed"}) +
                                    lost);
        for (const QVariantList &event : events + tcp0)
            QVERIFY(event.at(4).toLongLong() >= begin &&
                    event.at(4).toLongLong() <= QDateTime::currentSecsSinceEpoch());
        // The value, and the channel and its upper limit as one number, of the alarm events.
        QList<double> alarm;
        for (const QVariantList &event : events.mid(0, 4))
            alarm << event.at(1).toDouble() << event.at(2).toInt() * 100 + event.at(3).toDouble();
        QCOMPARE(alarm.mid(1), QList<double>({130, 31.5, 130, 36, 130, 25, 130}));
        QVERIFY(events.at(1).at(5) == "night shift" && events.at(1).at(6).toLongLong() >= begin);
        // The break: both channels empty, a second after the last sample before the loss; one
        // more for the end of the recording.
        const QVariantList gap =
            sqlRows(rig.databasePath(),
                    "select min(b.pointDate), (select max(pointDate) + 1 from kestrelix where "
                    "serialno = b.serialno and channel1 is not null and pointDate < "
                    "min(b.pointDate)), count(*) from kestrelix b where serialno = ? and "
                    "channel1 is null and channel2 is null",
                    {rig.serialOf("tcp0")})
                .value(0);
        QCOMPARE(QVariantList({gap.value(1), gap.value(2)}), QVariantList({gap.value(0), 2}));
        QVERIFY(gap.value(0).toLongLong() - 1 <= tcp0.first().at(4).toLongLong());
    }
    void repliesInPiecesOrWithNonsenseOrASetupCutShortAreStoredAsTheLoggerMeantThem()
    {
        const int first = simCount("tcp0");
        RecordingRig rig(&m_sim);
        QVERIFY(rig.open(m_dir->path(), {"tcp0", "tcp1"}));
        ConfiguredDevice *device = rig.device("tcp0");
        // The simulator's answer n of tcp0 (its drift of 1 per answer keeps any two apart).
        const auto expectedCh1 = [](int n) { return 20 + (n % 10) * 0.1 + n; };
        const auto expectedCh2 = [](int n) { return 40 + (n % 5) * 0.5; };
        const auto near = [](double a, double b) { return qAbs(a - b) < 1e-6; };
        const auto newestIsAnswer = [&](int n) {
            return near(device->ch1Data()[NEWEST], expectedCh1(n)) &&
                   near(device->ch2Data()[NEWEST], expectedCh2(n)) && device->isConnected();
        };
        // "ATDC 23.30,40.50\r\n": 18 bytes or a few more as the drift grows; the first and the
        // last position leave one of the two writes empty.
        const int length = 18 + QString::number(int(expectedCh1(first + 20))).size() - 2;
        for (int position = 0; position <= length; ++position) {
            QVERIFY(sim(QStringLiteral("fault tcp0 split %1 15").arg(position)));
            QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
            QVERIFY2(newestIsAnswer(simCount("tcp0") - 1), qPrintable(QString::number(position)));
        }
        // A NUL byte ends the reply; what follows it is ignored.
        QVERIFY(sim("fault tcp0 nul"));
        for (int poll = 0; poll < 3; ++poll) {
            QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}) && newestIsAnswer(simCount("tcp0") - 1));
        }

        // Garbage and oversized numbers are no value. Each poll is its own batch: a batch keeps
        // one of several identical rows, and the no-value rows within one second are identical.
        InsertSerialData *store = rig.window()->store();
        QVERIFY(store->insertNow());
        for (const char *fault : {"garbage", "garbage", "longline", "garbage", "longline"}) {
            QVERIFY(sim("fault tcp0 " + QString(fault)) && rig.pollAndWait({"tcp0", "tcp1"}));
            QVERIFY(device->ch1Value() == "----" && device->ch1Data()[NEWEST] == NO_VALUE);
            QVERIFY(device->isConnected() && store->insertNow());
        }
        QVERIFY(sim("fault tcp0 none"));

        // A line longer than the buffer is dropped, and nothing of it is left in front of the next.
        QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
        const double before = device->ch1Data()[NEWEST];
        QVERIFY(sim("raw tcp0 ATDC " + QString(6000, '7') + ",1\\r\\n"));
        const int answered = simCount("tcp0");
        QVERIFY(rig.pollAndWait({"tcp1"}));
        QTRY_COMPARE(simCount("tcp0"), answered + 1);
        QVERIFY(sim("auto tcp0") && rig.pollAndWait({"tcp0", "tcp1"}));
        QVERIFY(newestIsAnswer(simCount("tcp0") - 1) &&
                near(device->ch1Data()[NEWEST - 1], before));

        // A reset or a closed dialog in the middle of a setup exchange.
        ProjectCenter *center = rig.window()->projectCenter();
        center->slotDeviceClicked(device);
        center->slotPopupSensingOption();
        QPointer dialog = center->findChild<SensingOptionTelnetDialog *>();
        QVERIFY(dialog);

        // Each "OK" comes late, so the reset lands while the logger is still answering.
        QVERIFY(sim("fault tcp0 slow 400"));
        dialog->findChild<QDoubleSpinBox *>("doubleSpinBox_min_ch1")->setValue(5);
        auto *confirm = dialog->findChild<QPushButton *>("pushButton_confirm");
        QTest::mouseClick(confirm, Qt::LeftButton);
        QTRY_VERIFY(m_sim.command("setup tcp0").contains("ATBMIN1=5.00"));
        QVERIFY(sim("reset tcp0") && sim("fault tcp0 none"));
        const QString timedOut = QStringLiteral("This command has exceeded the time limit.\n"
                                                "Please retry.");
        QTRY_COMPARE_WITH_TIMEOUT(countMessages(rig.window(), "ERROR", timedOut), 1, 4000);
        QVERIFY(device->settings().ch1Min() == -1000.0f && confirm->isEnabled());
        // The exchange is over: the logger is polled again on a new connection.
        QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}) && device->isConnected());

        // Closing the dialog while the logger answers waits for the logger's "OK".
        QVERIFY(sim("fault tcp0 slow 150"));
        dialog->findChild<QDoubleSpinBox *>("doubleSpinBox_min_ch1")->setValue(7);
        QTest::mouseClick(confirm, Qt::LeftButton);
        QTest::keyClick(dialog, Qt::Key_Escape);
        dialog->close();
        QVERIFY(dialog && dialog->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 4000);
        QCOMPARE(device->settings().ch1Min(), 7.0f);
        const QString setup = m_sim.command("setup tcp0");
        QVERIFY2(setup.contains("ATBMIN1=7.00") && setup.endsWith("SET=1"), qPrintable(setup));
        QList<DeviceRecord> saved;
        QVERIFY(
            ProjectFile::parseDeviceList(ProjectFile::readDeviceList(rig.projectPath()), &saved));
        QCOMPARE(QVariantList({saved.first().deviceNumber, saved.first().ch1Min}),
                 QVariantList({rig.serialOf("tcp0"), 7.0f}));
        QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));

        QCOMPARE(rig.unstoredAnswers({"tcp0", "tcp1"}, {{"tcp0", 1}}), QString());
        const QList<QVariantList> rows =
            sqlRows(rig.databasePath(),
                    "select channel1, channel2 from kestrelix where serialno = ? order by id",
                    {rig.serialOf("tcp0")});
        // The load poll, the split and NUL replies, five without value, two more, two after the
        // setup exchanges, the gap row.
        QCOMPARE(rows.size(), length + 5 + 5 + 2 + 2 + 1);
        for (int i = 0; i < length + 5; ++i)
            QVERIFY2(near(rows.at(i).at(0).toDouble(), expectedCh1(first + i)) &&
                         near(rows.at(i).at(1).toDouble(), expectedCh2(first + i)),
                     qPrintable(QString::number(i)));
        for (int i = length + 5; i < length + 10; ++i)
            QVERIFY(rows.at(i).at(0).isNull() && rows.at(i).at(1).isNull());
        QVERIFY(!rows.at(length + 10).at(0).isNull());
    }
    // A full disk or frozen files keep the rows queued until the database takes them again; the
    // rows of a project closed meanwhile go to its own database only, or are given up when its
    // folder is gone.
    void aStorageFailureKeepsTheRowsQueuedForTheirOwnDatabase_data()
    {
        QTest::addColumn<QString>("failure");
        for (const char *failure : {"disk full", "files frozen", "closed", "closed, folder gone"})
            QTest::newRow(failure) << QString::fromLatin1(failure);
    }
    void aStorageFailureKeepsTheRowsQueuedForTheirOwnDatabase()
    {
        QFETCH(QString, failure);
        const bool fullDisk = failure == "disk full", folderGone = failure.endsWith("gone");
        // tmpfs takes the immutable attribute but goes on writing through open files: frozen
        // files are tried in the temporary folder on disk.
        const QString folder = fullDisk ? m_strMount : m_dir->path();
        const QString refusal =
            fullDisk ? g_strNoPrivateMounts : frozenFilesRefuseWrites(m_dir->filePath("probe"));
        if (!refusal.isEmpty())
            QSKIP(qPrintable(refusal));
        QVERIFY(!fullDisk || ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0,
                                     "size=512k") == 0);
        RecordingRig rig(&m_sim);
        QVERIFY(rig.open(folder, {"tcp0", "tcp1"}));
        QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}, 8) && rig.flush());
        // Frozen while the store holds them open; the commits go to the write-ahead log. The
        // shared-memory index stays writable: a store into a mapped page of a frozen file ends
        // the process with SIGBUS.
        const QString filler = QDir(folder).filePath(QStringLiteral("filler"));
        const QStringList files = {rig.databasePath(), rig.databasePath() + QStringLiteral("-wal")};
        const auto fail = [&](bool on) {
            return fullDisk ? (on ? fillDisk(filler) : QFile::remove(filler))
                            : setImmutable(files, on);
        };
        VelmoranMain *window = rig.window();
        if (failure.startsWith("closed")) {
            const int stored = rig.storedRows("tcp0");
            QVERIFY(fail(true) && rig.pollAndWait({"tcp0", "tcp1"}, 4));
            window->slotStopRecord();
            window->slotCloseProject();
            QCOMPARE(window->pendingRows().count(), 0);

            // The next project records and stops: its file holds its own rows and no others.
            const QString other = m_dir->filePath(QStringLiteral("other/Other.tpc"));
            QVERIFY(QDir().mkpath(QFileInfo(other).path()));
            QVERIFY(
                writeSimulatorProject(other, {m_sim.logger("tcp0"), m_sim.logger("tcp1")}, 1000));
            window->projectLoaded(other);
            window->slotStartRecord();
            holdTimers(window);
            QVERIFY(QTest::qWaitFor([window] { return window->pendingRows().count() >= 2; }, 5000));
            QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}, 3));
            const int recorded = window->pendingRows().count();
            window->slotStopRecord();
            QCOMPARE(window->store()->totalRow(), recorded + 2);
            window->slotCloseProject();
            if (folderGone) {
                const QString moved = folder + QStringLiteral("-moved");
                QVERIFY(QDir().rename(folder, moved));
                for (int tick = 0; tick < 20; ++tick)
                    window->drainStep();
                QVERIFY(QDir().rename(moved, folder));
                const QString given = QStringLiteral("10 rows could not be written to\n") +
                                      QDir::toNativeSeparators(rig.databasePath());
                QCOMPARE(countMessages(window, QStringLiteral("ERROR"), given), 1);
            }
            // The first project's rows wait for its own file and go there once it takes them.
            window->drainStep();
            QCOMPARE(rig.storedRows("tcp0"), stored);
            QVERIFY(fail(false));
            window->drainStep();
            QCOMPARE(QList<int>({rig.storedRows("tcp0"), rig.storedRows("tcp1")}),
                     QList<int>(2, folderGone ? stored : stored + 4 + 1));
            QCOMPARE(integrityCheck(rig.databasePath()), QStringLiteral("ok"));
            return;
        }
        for (int run = 0; run < 2; ++run) {
            QVERIFY(fail(true) && rig.pollAndWait({"tcp0", "tcp1"}, 8) && !rig.flush());
            QCOMPARE(window->pendingRows().count(), 16);
            QCOMPARE(countMessages(window, QStringLiteral("ERROR"), WRITE_FAILED), 1);
            // The loggers are still read, and the next failed flushes say nothing new.
            QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}, 8) && !rig.flush() && !rig.flush());
            QCOMPARE(window->pendingRows().count(), 32);
            QCOMPARE(countMessages(window, QStringLiteral("ERROR"), WRITE_FAILED), 1);
            QVERIFY(rig.device("tcp0")->isConnected() && rig.device("tcp1")->isConnected());
            QVERIFY(window->isRecording());
            QVERIFY(fail(false) && rig.flush());
            QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}, 8) && rig.flush());
            // A second run of failures is a new failure: it is shown again.
            closeMessages(window);
        }
        QCOMPARE(rig.unstoredAnswers({"tcp0", "tcp1"}), QString());
    }
    void aKilledRecordingLeavesEveryCommittedBatchInAnIntactDatabase()
    {
        const QString project = m_dir->projectPath(QStringLiteral("Crash"));
        const QList<SimProcess::Logger> loggers = {m_sim.logger("tcp0"), m_sim.logger("tcp1"),
                                                   m_sim.logger("tcp2"), m_sim.logger("tcp3")};
        // Channel 1 is out of its range from the first sample on: every kill lands in an alarm.
        QVERIFY(writeSimulatorProject(project, loggers, 1000, {0.0f, 1.0f, -1e6f, 1e6f}));
        const QString database = ProjectFile::databasePath(project);
        // Per logger: its rows and its alarm starts.
        const auto counts = [&database] {
            QHash<QString, QPair<int, int>> counts;
            for (const QVariantList &row : sqlRows(
                     database, "select serialno, count(*), (select count(*) from kestrelix_event "
                               "e where e.serialno = k.serialno and kind = 'alarm started') "
                               "from kestrelix k group by serialno"))
                counts.insert(row.at(0).toString(), {row.at(1).toInt(), row.at(2).toInt()});
            return counts;
        };
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        for (int trial = 0; trial < 6; ++trial) {
            const auto before = counts();
            QProcess recorder;
            recorder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            // By its build path: in a chroot /proc/self/exe may name a path outside it.
            recorder.start(QStringLiteral(TST_FAULTS_PATH),
                           {QStringLiteral("--record-until-killed"), project});
            // A fresh machine without a font cache starts a window slowly.
            QVERIFY2(recorder.waitForReadyRead(30000) && recorder.canReadLine(),
                     qPrintable(QString::asprintf("the recorder did not start (exit code %d, %s)",
                                                  recorder.exitCode(),
                                                  qPrintable(recorder.errorString()))));
            QCOMPARE(recorder.readLine().trimmed(), QByteArray("RECORDING"));
            // Anywhere from before the first batch to a dozen batches in.
            const int lifeMs = random.bounded(10, 300);
            QTest::qWait(lifeMs);
            recorder.kill();
            QVERIFY(recorder.waitForFinished(5000) && recorder.exitStatus() == QProcess::CrashExit);
            int committed = -1;
            for (const QByteArray &line : recorder.readAllStandardOutput().split('\n'))
                if (line.startsWith("COMMITTED "))
                    committed = line.mid(10).toInt();

            QCOMPARE(integrityCheck(database), QStringLiteral("ok"));
            const int stored = sqlValue(database, "select count(*) from kestrelix").toInt();
            QVERIFY2(stored >= committed, qPrintable(QString::asprintf(
                                              "seed %u after %d ms: %d rows committed, %d stored",
                                              seed, lifeMs, committed, stored)));
            // A run whose samples of a logger survived also kept the start of its alarm, which
            // was committed with its first sample; a run that left no sample left no start.
            const auto after = counts();
            for (auto it = after.cbegin(); it != after.cend(); ++it) {
                const bool sampled = it->first > before.value(it.key()).first;
                QCOMPARE(it->second - before.value(it.key()).second, sampled ? 1 : 0);
            }
        }
        QVERIFY(sqlValue(database, "select count(*) from kestrelix").toInt() > 0);
    }

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
        QVERIFY(writeSimulatorProject(path, all.mid(0, loggers), 1000, {-1e6, 1e6, -100, 200}));
        m_recorder = openProject(path);
        m_recorder->stopPolling();
        InsertSerialData *store = m_recorder->store();
        QSignalSpy received(m_recorder.get(), &Recorder::sampleReceived);
        QSignalSpy connections(m_recorder.get(), &Recorder::connectionChanged);
        QSignalSpy started(m_recorder.get(), &Recorder::recordingStarted);
        QSignalSpy range(m_recorder.get(), &Recorder::recordedRangeChanged);
        QSignalSpy alarms(m_recorder.get(), &Recorder::alarmChanged);
        QSignalSpy errors(m_recorder.get(), &Recorder::storeError);
        QVERIFY(m_recorder->startRecording());
        const auto key = [&path](const char *name) { return ProjectFile::readString(path, name); };
        QCOMPARE(QVariantList({started.size(), key("record_start_time")}),
                 QVariantList({1, started.value(0).value(0)}));

        const auto pollOnce = [&] {
            const int before = received.size();
            m_recorder->poll();
            return QTest::qWaitFor([&] { return received.size() >= before + loggers; }, 5000);
        };
        QTRY_COMPARE(received.size(), loggers); // the first poll of startPolling()
        while (m_recorder->pendingRows().count() < 8 * loggers) {
            m_recorder->flush();
            QVERIFY(store->totalRow() == 0 && pollOnce());
        }
        m_recorder->flush();
        const int stored = 8 * loggers;
        QVERIFY(store->totalRow() == stored && pollOnce());
        const int queued = m_recorder->pendingRows().count();
        m_recorder->stopRecording();
        QCOMPARE(QVariantList({connections.size(), connections.value(0).value(1),
                               m_recorder->pendingRows().count(), store->totalRow()}),
                 QVariantList({loggers, true, 0, stored + queued + loggers}));

        const QList<QVariantList> samples =
            storedSamples(store->databasePath(), all.first().deviceNumber);
        QCOMPARE(samples.size(), (stored + queued) / loggers + 1);
        // Every sample has a value but the gap row, a second after the last.
        for (int i = 0; i + 1 < samples.size(); ++i)
            QVERIFY(samples[i].at(1).toBool());
        QCOMPARE(samples.last(),
                 QVariantList({samples[samples.size() - 2].at(0).toLongLong() + 1, 0LL}));
        const QString start = timeText(samples.first().at(0)), end = timeText(samples.last().at(0));
        QCOMPARE(QVariantList({key("record_start_time"), key("record_stop_time"),
                               m_recorder->recordEndText(), range.size()}) +
                     range.value(0),
                 QVariantList({start, end, end, 1, start, end}));

        // A second recording keeps the start text. The database refuses the write at its stop:
        // that is said once, and the rows are written once it takes them.
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
            QCOMPARE(errors.at(0).at(0).toString(), WRITE_FAILED);
            QVERIFY(m_recorder->pendingRows().count() > 0);
            QVERIFY(lock.exec("ROLLBACK"));
        }
        QSqlDatabase::removeDatabase("blocker");
        QVERIFY(QTest::qWaitFor([&] {
            m_recorder->drainStep();
            return m_recorder->pendingRows().count() == 0;
        }));
        const QVariantList last =
            storedSamples(store->databasePath(), all.first().deviceNumber).last();
        QVERIFY(!last.at(1).toBool());
        QCOMPARE(QStringList({key("record_start_time"), key("record_stop_time")}),
                 QStringList({start, timeText(last.at(0))}));

        // A channel out of its range raises the alarm, and back in clears it.
        ConfiguredDevice *device = m_recorder->devices().first();
        device->setAlarmRange(1e6, 2e6, -100, 200);
        QVERIFY(pollOnce());
        QTRY_COMPARE(alarms.size(), 1);
        QCOMPARE(alarms.at(0).mid(1) << m_recorder->hasAlarm(), QVariantList({true, false, true}));
        device->setAlarmRange(-1e6, 1e6, -100, 200);
        QVERIFY(pollOnce());
        QTRY_COMPARE(alarms.size(), 2);
        QVERIFY(!m_recorder->hasAlarm());
        m_recorder->closeStore();
        QVERIFY(!m_recorder->startRecording());
        QCOMPARE(errors.at(1).at(0).toString(), QStringLiteral("Database does not exist."));
        // A device handed over later takes the interval too.
        m_recorder->setPollInterval(60000);
        auto *later = new ConfiguredDevice(QStringLiteral("024B58000009"), LINK_TCP);
        m_recorder->setDevices(m_recorder->devices() << later);
        QCOMPARE(static_cast<TelnetDevice *>(later->link())->pollInterval(), 60000);
        QCOMPARE(static_cast<TelnetDevice *>(device->link())->pollInterval(), 60000);
    }

    void anEntryWithoutSerialAndASilentLoggerHoldUpNoRow()
    {
        // tcp0's entry has lost its DeviceNumber; tcp1 does not listen and stores nothing.
        const QString path = m_dir->projectPath("Unnamed");
        QVERIFY(writeSimulatorProject(path, {m_sim.logger("tcp0"), m_sim.logger("tcp1")}, 100));
        QByteArray list = ProjectFile::readDeviceList(path);
        list.replace('"' + m_sim.logger("tcp0").deviceNumber.toLatin1() + '"', "null");
        QSettings(path, QSettings::IniFormat).setValue("DeviceList", list);
        QVERIFY(sim("stop tcp1"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("WARNING.*DeviceNumber"));
        m_recorder = openProject(path);
        QVERIFY(m_recorder->startRecording());
        QTRY_VERIFY_WITH_TIMEOUT(m_recorder->pendingRows().count() >= 2, 5000);
        m_recorder->stopRecording();
        QVERIFY(sim("start tcp1"));

        QCOMPARE(m_recorder->pendingRows().count(), 0);
        const QString database = m_recorder->store()->databasePath();
        const QList<QVariantList> unnamed = storedSamples(database, QString(""));
        QVERIFY(unnamed.size() >= 3);
        QCOMPARE(unnamed.last(),
                 QVariantList({unnamed[unnamed.size() - 2].at(0).toLongLong() + 1, 0LL}));
        QVERIFY(storedSamples(database, m_sim.logger("tcp1").deviceNumber).isEmpty());
        QCOMPARE(ProjectFile::readString(path, "record_start_time"),
                 timeText(unnamed.first().at(0)));
    }

    // A project it cannot record ends it with a code that says why; a second recorder of the
    // project is refused while the first runs; a dead one's lock is taken over; SIGTERM and
    // SIGINT stop a recording cleanly.
    void headlessRecordsUntilSignalledAndHoldsTheProjectAlone()
    {
        const QString path = m_dir->projectPath("Cold");
        for (const auto &[code, message] : QList<QPair<int, QString>>{
                 {2, "does not exist"}, {2, "has no devices"}, {3, "cannot be opened"}}) {
            if (message == "has no devices")
                QVERIFY(writeSimulatorProject(path, {}, 1000));
            if (code == 3) {
                QVERIFY(writeSimulatorProject(path, {m_sim.logger("tcp0")}, 1000));
                QVERIFY(ProjectFile::writeValue(path, "databaseName", "no/such/Nowhere.db"));
            }
            auto process = startHeadless(path);
            QCOMPARE(exitCode(process.get()), code);
            const QString error = QString::fromLocal8Bit(process->readAllStandardError());
            QVERIFY2(error.contains(message), qPrintable(error));
        }
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
        QVERIFY2(rows.value(0).toInt() >= 4 && rows.value(1).toInt() == 1,
                 qPrintable(rows.value(0).toString()));
        QCOMPARE(kinds(sqlRows(database, "select kind from kestrelix_event")),
                 QStringList({"recording started", "recording stopped"}));
        QVERIFY(!ProjectFile::readString(path, "record_stop_time").isEmpty());
        QVERIFY(!QFile::exists(database + ".lock"));

        auto dead = startHeadless(path);
        QVERIFY(waitForLine(dead.get(), "recording"));
        dead->kill();
        QVERIFY(dead->waitForFinished(5000));
        // Killed while taking the project file's lock, a recorder leaves it empty.
        QVERIFY(QFile(path + ".lock").open(QIODevice::WriteOnly));
        auto third = startHeadless(path);
        QVERIFY(waitForLine(third.get(), "recording"));
        ::kill(third->processId(), SIGINT);
        QCOMPARE(exitCode(third.get()), 0);
    }

private:
    int simCount(const QString &id) { return m_sim.command("count " + id).mid(3).toInt(); }
    bool sim(const QString &command) { return m_sim.command(command).startsWith("ok"); }

    SimProcess m_sim;
    std::unique_ptr<TempProjectDir> m_dir;
    QString m_strMount;
    std::unique_ptr<Recorder> m_recorder;
};

int main(int argc, char **argv)
{
    const bool recorder = argc == 3 && qstrcmp(argv[1], "--record-until-killed") == 0;
    // Before any thread exists: a namespace is per process only while it has one thread.
    if (!recorder)
        g_strNoPrivateMounts = enterPrivateMountNamespace();
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    if (recorder) {
        isolateSettings();
        return recordUntilKilled(QString::fromLocal8Bit(argv[2]));
    }
    TestFaults test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"

#include "app/headlessrecorder.h"

#include "app/commandline.h"
#include "app/terminationwatcher.h"
#include "device/alarmeventlog.h"
#include "device/configureddevice.h"
#include "discovery/availabledevicelist.h"
#include "discovery/usbenumerator.h"
#include "project/projectfile.h"
#include "recorder/recorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>

#include <cstdio>

namespace {
constexpr int CHECK_USB_MS = 1500;

// The window's "Keep Socket Connection" choice, where the same user has made one.
bool keepAliveSetting()
{
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                             QStringLiteral("VelmoranLite"), QStringLiteral("Velmoran Lite"));
    return settings.value(QStringLiteral("RecentProjects/keepAlive"), false).toBool();
}

QString deviceText(const ConfiguredDevice *device)
{
    return QStringLiteral("%1 (%2)").arg(device->deviceName(), device->deviceNumber());
}
} // namespace

HeadlessRecorder::HeadlessRecorder(QObject *parent)
    : QObject(parent), m_pRecorder(new Recorder(this)), m_pAvailDevices(new AvailableDeviceList),
      m_pUsbEnumerator(createPlatformUsbEnumerator()), m_usbTimer(new QTimer(this))
{
    connect(m_usbTimer, &QTimer::timeout, this, &HeadlessRecorder::checkUsb);
    connect(m_pRecorder, &Recorder::alarmChanged, this,
            [this](ConfiguredDevice *device, bool ch1, bool ch2) {
                if (!ch1 && !ch2) {
                    logLine(QStringLiteral("alarm cleared: ") + deviceText(device));
                    return;
                }
                QString channels;
                if (ch1)
                    channels += QStringLiteral(" %1 = %2 (range %3 to %4)")
                                    .arg(device->ch1Name(), device->ch1Value())
                                    .arg(device->settings().ch1Min())
                                    .arg(device->settings().ch1Max());
                if (ch2)
                    channels += QStringLiteral(" %1 = %2 (range %3 to %4)")
                                    .arg(device->ch2Name(), device->ch2Value())
                                    .arg(device->settings().ch2Min())
                                    .arg(device->settings().ch2Max());
                logLine(QStringLiteral("ALARM ") + deviceText(device) + QLatin1Char(':') +
                        channels);
            });
    connect(m_pRecorder, &Recorder::connectionChanged, this,
            [this](ConfiguredDevice *device, bool connected) {
                logLine((connected ? QStringLiteral("connected: ")
                                   : QStringLiteral("connection lost: ")) +
                        deviceText(device));
            });
    connect(m_pRecorder, &Recorder::storeError, this, [this](const QString &message) {
        logLine(QStringLiteral("ERROR ") + QString(message).replace(QLatin1Char('\n'), ' '));
    });
    // The central database refused the start: the message is written already (storeError).
    // Queued: the store that answers is closed here.
    connect(
        m_pRecorder, &Recorder::recordingRefused, this,
        [this] {
            stop();
            QCoreApplication::exit(EXIT_NO_DATABASE);
        },
        Qt::QueuedConnection);
    connect(m_pRecorder, &Recorder::eventLogError, this, [this](const QString &message) {
        logLine(QStringLiteral("ERROR ") + QString(message).replace(QLatin1Char('\n'), ' '));
    });
    // The event log's own line of each entry: what an auditor finds in the database.
    connect(m_pRecorder->eventLog(), &AlarmEventLog::eventLogged, this,
            [this](const QString &line) { logLine(QStringLiteral("event: ") + line); });
    connect(m_pRecorder, &Recorder::projectFileError, this, [this] {
        logLine(QStringLiteral("ERROR cannot write the project file ") +
                m_pRecorder->projectFile());
    });
    connect(m_pRecorder, &Recorder::sizeLimitReached, this, [this](qint64 bytes) {
        logLine(QStringLiteral("ERROR the database has reached %1 bytes, the size limit: "
                               "recording stops")
                    .arg(bytes));
        stop();
        QCoreApplication::exit(EXIT_OK);
    });
}

HeadlessRecorder::~HeadlessRecorder()
{
    stop();
    delete m_pAvailDevices;
    delete m_pUsbEnumerator;
}

void HeadlessRecorder::logLine(const QString &line) const
{
    std::fprintf(stderr, "velmoran-lite: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

int HeadlessRecorder::start(const QString &projectFile)
{
    const QString path = QFileInfo(projectFile).absoluteFilePath();
    if (!QFileInfo::exists(path)) {
        logLine(QStringLiteral("the project file %1 does not exist").arg(path));
        return EXIT_BAD_PROJECT;
    }
    ProjectInfo info;
    if (!QFileInfo(path).isReadable() || !ProjectFile::readInfo(path, &info)) {
        logLine(QStringLiteral("the project file %1 cannot be read").arg(path));
        return EXIT_BAD_PROJECT;
    }
    QList<DeviceRecord> records;
    if (!ProjectFile::parseDeviceList(ProjectFile::readDeviceList(path), &records) ||
        records.isEmpty()) {
        logLine(QStringLiteral("the project file %1 has no devices").arg(path));
        return EXIT_BAD_PROJECT;
    }
    const bool keepAlive = keepAliveSetting();
    QList<ConfiguredDevice *> devices;
    ProjectFile::applyRecords(records, &devices, keepAlive);
    m_pRecorder->setDevices(devices);
    const int interval = Recorder::usablePollInterval(info.dataInterval);
    m_pRecorder->setPollInterval(interval);

    const QString databasePath = ProjectFile::databasePath(path);
    switch (m_pRecorder->openStore(path)) {
    case Recorder::OpenResult::Opened:
        break;
    case Recorder::OpenResult::Locked:
        logLine(QStringLiteral("the project %1 is being recorded by another program (process "
                               "%2); its lock file is %3")
                    .arg(path)
                    .arg(m_pRecorder->lockOwner())
                    .arg(m_pRecorder->lockPath()));
        return EXIT_LOCKED;
    case Recorder::OpenResult::Failed:
        logLine(QStringLiteral("the database %1 cannot be opened").arg(databasePath));
        return EXIT_NO_DATABASE;
    }
    m_pRecorder->setKeepAlive(keepAlive);
    checkUsb();
    m_usbTimer->start(CHECK_USB_MS);
    m_pRecorder->startPolling();
    // A file records at once; a central database once it has answered.
    const QString storeText = ProjectFile::databaseUrl(path).isEmpty()
                                  ? QDir::toNativeSeparators(databasePath)
                                  : ProjectFile::databaseUrl(path);
    const QString started = QStringLiteral("recording %1 (%2 loggers, every %3 ms) into %4")
                                .arg(path)
                                .arg(devices.size())
                                .arg(interval)
                                .arg(storeText);
    connect(
        m_pRecorder, &Recorder::recordingStarted, this, [this, started] { logLine(started); },
        Qt::SingleShotConnection);
    if (!m_pRecorder->startRecording())
        return EXIT_NO_DATABASE;
    return EXIT_OK;
}

void HeadlessRecorder::checkUsb()
{
    const AvailableDeviceList::UsbCheckResult result =
        m_pAvailDevices->checkConnection(m_pUsbEnumerator->enumerateUsbLoggers());
    if (result.openDevices)
        m_pRecorder->openUsbDevices(m_pAvailDevices->serialDevices());
}

void HeadlessRecorder::stop()
{
    m_usbTimer->stop();
    const bool wasOpen = m_pRecorder->store() != nullptr;
    if (m_pRecorder->isRecording())
        m_pRecorder->stopRecording();
    m_pRecorder->stopTimers();
    m_pRecorder->closeStore();
    m_pRecorder->finishLeftoverRows();
    m_pRecorder->deleteDevices();
    m_pAvailDevices->closeKestrelixDevices();
    if (wasOpen)
        logLine(QStringLiteral("recording stopped"));
}

int runHeadless(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral("3.54"));
    const CommandLineOptions options = processCommandLine(QCoreApplication::arguments());
    // Before the recorder: a stop request during start-up is handled once the loop runs.
    TerminationWatcher termination;
    HeadlessRecorder recorder;
    const int code = recorder.start(options.headlessProject);
    if (code != HeadlessRecorder::EXIT_OK)
        return code;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &recorder,
                     [&recorder] {
                         recorder.stop();
                         QCoreApplication::quit();
                     });
    return app.exec();
}

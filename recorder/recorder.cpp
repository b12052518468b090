#include "recorder/recorder.h"
#include "store/logcategories.h"

#include "device/abstractdevice.h"
#include "device/alarmeventlog.h"
#include "device/configureddevice.h"
#include "discovery/availabledevice.h"
#include "project/projectfile.h"
#include "recorder/projectlock.h"
#include "store/insertserialdata.h"
#include "store/leftoverrows.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <QUuid>

namespace {
constexpr int CLOCK_MS = 1000;
constexpr int WRITE_DB_MS = 1500;
// Between two slices of a backlog the event loop gets this long for input and repaints.
constexpr int CATCH_UP_MS = 10;
// How long stopping a recording, or closing its project, writes slices before it lets the
// drain timer write the rest: a few slices, so that the window never freezes for seconds.
constexpr int FINAL_FLUSH_BUDGET_MS = 100;
// Ticks in a row that a closed project's database may fail to open before its rows are given up.
constexpr int LEFTOVER_OPEN_TRIES = 20;
// The server's connect time-out and then some.
constexpr int LEFTOVER_SERVER_WAIT_MS = 10000;
constexpr int FLUSH_ROWS_ONE_DEVICE = 8;
constexpr int FLUSH_ROWS_MORE_DEVICES = 16;
constexpr quint16 USB_DEVICE_PORT = 23;
constexpr int DEFAULT_POLL_MS = 10000;
constexpr int MIN_POLL_MS = 100;

QString recordTimeText(uint secondsSinceEpoch)
{
    if (secondsSinceEpoch == 0)
        return QString();
    return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch)
        .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString nowText()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QTimer *makeTimer(QObject *parent, bool singleShot = false)
{
    auto *timer = new QTimer(parent);
    timer->setSingleShot(singleShot);
    return timer;
}
} // namespace

// A project file without a usable interval must not make the poll timer fire back to back,
// nor may a tiny one flood the loggers and the store.
int Recorder::usablePollInterval(int ms)
{
    if (ms <= 0)
        return DEFAULT_POLL_MS;
    if (ms < MIN_POLL_MS) {
        qWarning().noquote() << "[WARNING] VelmoranMain::usablePollInterval : DataInterval" << ms
                             << "ms raised to" << MIN_POLL_MS << "ms";
        return MIN_POLL_MS;
    }
    return ms;
}

Recorder::Recorder(QObject *parent)
    : QObject(parent), m_strConnectionPrefix(
                           QString::fromLatin1(QUuid::createUuid().toString().toUtf8().toBase64())),
      m_pollTimer(makeTimer(this)), m_flushTimer(makeTimer(this)), m_clockTimer(makeTimer(this)),
      m_drainTimer(makeTimer(this, true))
{
    connect(m_pollTimer, &QTimer::timeout, this, &Recorder::poll);
    connect(m_flushTimer, &QTimer::timeout, this, &Recorder::flush);
    connect(m_clockTimer, &QTimer::timeout, this, &Recorder::clockTick);
    connect(m_drainTimer, &QTimer::timeout, this, &Recorder::drainStep);
    m_pEventLog = new AlarmEventLog(this);
    m_pEventLog->setEventQueue(&m_pendingEvents);
    m_pEventLog->setRowQueue(&m_pendingRows);
}

Recorder::~Recorder()
{
    stopTimers();
    if (m_bRecording)
        stopRecording();
    deleteDevices();
    closeStore();
    finishLeftoverRows();
}

void Recorder::setDevices(const QList<ConfiguredDevice *> &devices)
{
    for (ConfiguredDevice *device : std::as_const(m_devices)) {
        if (!device || devices.contains(device))
            continue;
        m_alarms.remove(device);
        device->close();
        delete device;
    }
    m_devices = devices;
    for (ConfiguredDevice *device : std::as_const(m_devices)) {
        if (device) {
            device->setPollInterval(m_nPollInterval);
            watchDevice(device);
            applyRecording(device);
        }
    }
}

void Recorder::watchDevice(ConfiguredDevice *device)
{
    // Devices kept from the previous list are connected already.
    disconnect(device, nullptr, this, nullptr);
    connect(device, &ConfiguredDevice::sampleReceived, this, [this, device] {
        emit sampleReceived(device);
        checkAlarm(device);
    });
    connect(device, &ConfiguredDevice::connectionChanged, this, [this, device](bool connected) {
        emit connectionChanged(device, connected);
        checkAlarm(device);
    });
}

ConfiguredDevice *Recorder::findDevice(const QString &deviceNumber) const
{
    for (ConfiguredDevice *device : m_devices) {
        if (device && device->deviceNumber() == deviceNumber)
            return device;
    }
    return nullptr;
}

void Recorder::closeDevices()
{
    for (ConfiguredDevice *device : std::as_const(m_devices)) {
        if (device)
            device->close();
    }
}

void Recorder::deleteDevices()
{
    for (ConfiguredDevice *device : std::as_const(m_devices)) {
        if (!device)
            continue;
        device->close();
        delete device;
    }
    m_devices.clear();
    m_alarms.clear();
}

QString Recorder::lockPath() const
{
    return ProjectLock::lockPath(ProjectFile::databasePath(m_strProjectFile));
}

Recorder::OpenResult Recorder::openStore(const QString &projectFile)
{
    closeStore();
    m_strProjectFile = projectFile;
    m_nLockOwner = 0;
    const QString databasePath = ProjectFile::databasePath(projectFile);
    auto lock = std::make_unique<ProjectLock>(databasePath);
    if (!lock->tryLock()) {
        m_nLockOwner = lock->ownerProcess();
        // Where no lock file can be made, no database can be either.
        return lock->heldByOther() ? OpenResult::Locked : OpenResult::Failed;
    }
    // A project that names a central database records there; the lock stays beside the
    // project, so that two recorders of one project are refused either way.
    const QString storeLocation = ProjectFile::storeLocation(projectFile);
    m_pStore = new InsertSerialData(storeLocation, m_strConnectionPrefix, this);
    if (!m_pStore->createConnection()) {
        qCWarning(lcApp).noquote()
            << "VelmoranMain::createInsertSerialData : [ERROR] Create database error"
            << storeLocation << ":" << m_pStore->lastError();
        delete m_pStore;
        m_pStore = nullptr;
        return OpenResult::Failed;
    }
    qCDebug(lcApp) << "VelmoranMain::createInsertSerialData : " << storeLocation;
    m_pStore->setRowQueue(&m_pendingRows);
    m_pStore->setEventQueue(&m_pendingEvents);
    connect(m_pStore, &InsertSerialData::startAnswered, this, &Recorder::onStartAnswered);
    connect(m_pStore, &InsertSerialData::recordedRangeRead, this, &Recorder::onRangeRead);
    connect(m_pStore, &InsertSerialData::eventLogFailed, this, [this] {
        emit eventLogError(
            QStringLiteral("The event log cannot be written.\nSamples are recorded."));
    });
    m_pEventLog->setCommunicationLossSound(ProjectFile::communicationLossAlarm(projectFile));
    m_pEventLog->attach(m_devices);
    m_pLock = std::move(lock);
    if (m_pStore->isServer()) {
        // The texts stay empty until the server answers (recordedRangeChanged).
        m_bRangeOfRecording = false;
        m_nRangeRequest = m_pStore->requestRecordedRange(serials());
    } else {
        m_strRecordStart = recordTimeText(m_pStore->startDateTime());
        m_strRecordEnd = recordTimeText(m_pStore->endDateTime());
    }
    m_clockTimer->start(CLOCK_MS);
    return OpenResult::Opened;
}

void Recorder::closeStore()
{
    m_clockTimer->stop();
    if (!m_pStore) {
        m_pLock.reset();
        return;
    }
    cancelStart();
    m_nRangeRequest = 0;
    m_pEventLog->detach();
    // A central database's answers come from its worker: closing waits for them, as briefly as
    // the slices of a file are written.
    if (m_pStore->isConnected() && m_pendingEvents.count() > 0) {
        m_pStore->insertNow();
        m_pStore->waitForServer(FINAL_FLUSH_BUDGET_MS);
    }
    // Rows still queued belong to this project's database: a bounded last try, then they are
    // set aside for it, never left for the next project's store.
    if (m_pStore->isConnected() && m_pendingRows.count() > 0)
        flushFor(FINAL_FLUSH_BUDGET_MS, true);
    if (m_bBreakRowsPending) {
        const bool written = m_pendingRows.count() == 0;
        appendBreakRows();
        if (written)
            flushFor(FINAL_FLUSH_BUDGET_MS, true);
    }
    if (m_bRangePending && m_pendingRows.count() == 0)
        writeRecordedRange();
    m_bRangePending = false;
    if (m_pendingRows.count() > 0) {
        qWarning().noquote() << "VelmoranMain::deleteInsertSerialData : [ERROR]"
                             << m_pendingRows.count()
                             << "rows are not written yet; they are kept for"
                             << m_pStore->databasePath();
        m_leftovers.append(new LeftoverRows(
            m_pStore->databasePath(),
            m_strConnectionPrefix + QStringLiteral("leftover%1").arg(++m_nLeftoverConnections),
            m_pendingRows, m_strProjectFile));
        m_drainTimer->start(m_bStoreWriteFailing ? WRITE_DB_MS : CATCH_UP_MS);
    }
    if (m_pendingEvents.count() > 0) {
        qCWarning(lcApp).noquote() << "Recorder::closeStore : [ERROR]" << m_pendingEvents.count()
                                   << "events could not be written to" << m_pStore->databasePath();
        m_pendingEvents.clear();
    }
    delete m_pStore;
    m_pStore = nullptr;
    // The set-aside rows are written through a connection of their own: the next recorder of
    // this project may start.
    m_pLock.reset();
    m_strRecordStart.clear();
    m_strRecordEnd.clear();
    qCDebug(lcApp) << "VelmoranMain::deleteInsertSerialData()";
}

void Recorder::setPollInterval(int ms)
{
    m_nPollInterval = ms;
    for (ConfiguredDevice *device : std::as_const(m_devices)) {
        if (device)
            device->setPollInterval(ms);
    }
}

void Recorder::startPolling()
{
    poll();
    m_pollTimer->start(m_nPollInterval);
}

void Recorder::stopPolling()
{
    m_pollTimer->stop();
}

bool Recorder::isPolling() const
{
    return m_pollTimer->isActive();
}

void Recorder::stopTimers()
{
    m_pollTimer->stop();
    m_flushTimer->stop();
    m_clockTimer->stop();
    m_drainTimer->stop();
}

void Recorder::poll()
{
    for (ConfiguredDevice *device : std::as_const(m_devices)) {
        if (device)
            device->requestData();
    }
}

void Recorder::flush()
{
    if (!m_pStore || !m_pStore->isConnected())
        return;
    const int threshold = m_devices.size() > 1 ? FLUSH_ROWS_MORE_DEVICES : FLUSH_ROWS_ONE_DEVICE;
    if (m_pendingRows.count() >= threshold && flushStore() && hasDrainWork())
        m_drainTimer->start(CATCH_UP_MS);
}

void Recorder::clockTick()
{
    if (!m_pStore)
        return;
    m_pEventLog->checkLimits();
    // While recording, or while the drain still writes rows, events go with the next batch of
    // samples; otherwise nothing else would write them.
    if (!m_bRecording && m_pStore->isConnected() && m_pendingEvents.count() > 0 && !hasDrainWork())
        flushStore();
    const QString databasePath = m_pStore->databasePath();
    if (!m_strRecordEnd.isEmpty() && !m_strRecordStart.isEmpty() &&
        QFileInfo::exists(databasePath)) {
        const qint64 size = InsertSerialData::databaseFileSize(databasePath);
        emit databaseSizeChanged(size);
        if (double(size) >= DATABASE_SIZE_LIMIT && m_bRecording) {
            qCWarning(lcApp).noquote() << "Recorder::clockTick : [ERROR] the database has" << size
                                       << "bytes; recording stops";
            stopRecording();
            emit sizeLimitReached(size);
        }
    }
    if (m_bRecording) {
        m_strRecordEnd = nowText();
        emit recordEndTimeChanged(m_strRecordEnd);
    }
}

bool Recorder::wantsAlarmSound() const
{
    return m_pEventLog->wantsSound(hasAlarm());
}

int Recorder::unacknowledgedAlarms() const
{
    return m_pStore ? m_pStore->unacknowledgedAlarms() : 0;
}

bool Recorder::hasAlarm() const
{
    for (const ConfiguredDevice *device : m_devices) {
        if (device && (device->alarm1() || device->alarm2()))
            return true;
    }
    return false;
}

void Recorder::checkAlarm(ConfiguredDevice *device)
{
    const int flags = (device->alarm1() ? 1 : 0) | (device->alarm2() ? 2 : 0);
    if (m_alarms.value(device, 0) == flags)
        return;
    m_alarms.insert(device, flags);
    emit alarmChanged(device, device->alarm1(), device->alarm2());
}

void Recorder::setDevicesRecording(bool recording)
{
    m_bRecording = recording;
    qCDebug(lcApp) << "VelmoranMain::toggleRecordState : m_bIsRecordStart : "
                   << (recording ? "true" : "false");
    for (ConfiguredDevice *device : std::as_const(m_devices)) {
        if (device)
            applyRecording(device);
    }
}

void Recorder::applyRecording(ConfiguredDevice *device)
{
    if (m_bRecording)
        device->startRecording(m_pendingRows);
    else
        device->stopRecording();
}

QStringList Recorder::serials() const
{
    QStringList list;
    for (const ConfiguredDevice *device : m_devices) {
        if (device)
            list.append(device->deviceNumber());
    }
    return list;
}

bool Recorder::startRecording()
{
    if (m_nStartRequest != 0)
        return true;
    m_flushTimer->stop();
    if (!m_pStore || !m_pStore->isConnected()) {
        qCWarning(lcApp) << "VelmoranMain::slotStartRecord : [ERROR] Database does not exist";
        emit storeError(QStringLiteral("Database does not exist."));
        return false;
    }
    // A central database is reached, and this recorder registered there for its loggers, or
    // recording does not start. Until its worker answers nothing shows recording, and no
    // device queues rows.
    if (m_pStore->isServer()) {
        m_nStartRequest = m_pStore->requestStart(serials(), m_strProjectFile);
        qCDebug(lcApp) << "Recorder::startRecording : waiting for the database";
        return true;
    }
    finishStart();
    return true;
}

void Recorder::onStartAnswered(quint64 request, bool ok, const QString &message)
{
    // A start given up, or of a store closed since, has no say any more.
    if (request == 0 || request != m_nStartRequest)
        return;
    m_nStartRequest = 0;
    if (!ok) {
        qCWarning(lcApp).noquote() << "VelmoranMain::slotStartRecord : [ERROR]" << message;
        emit storeError(message);
        emit recordingRefused(message);
        return;
    }
    finishStart();
}

void Recorder::cancelStart()
{
    if (m_nStartRequest == 0)
        return;
    m_nStartRequest = 0;
    // Queued behind the registration on its way, so it frees what that takes.
    m_pStore->stopRecording();
    qCDebug(lcApp) << "Recorder::cancelStart : the start waiting for the database is given up";
}

void Recorder::finishStart()
{
    // Rows of the last recording may still wait: its break rows go before the new samples.
    if (m_bBreakRowsPending)
        appendBreakRows();
    setDevicesRecording(true);
    m_pEventLog->logRecording(true);
    m_bRangePending = false;
    m_flushTimer->start(WRITE_DB_MS);
    // A second recording in the same project keeps the start of the first.
    if (m_strRecordStart.isEmpty())
        m_strRecordStart = nowText();
    emit recordingStarted(m_strRecordStart);
    if (!writeKey(QStringLiteral("record_start_time"), m_strRecordStart))
        emit projectFileError();
}

void Recorder::stopRecording()
{
    if (!m_bRecording && m_nStartRequest != 0) {
        cancelStart();
        return;
    }
    setDevicesRecording(false);
    m_pEventLog->logRecording(false);
    m_flushTimer->stop();
    m_strRecordEnd = nowText();
    emit recordingStopped();

    if (m_pStore && m_pStore->isConnected()) {
        // A long backlog is written a slice at a time: what the budget leaves is written by the
        // drain timer, which then adds the break rows and writes the range again.
        if (flushFor(FINAL_FLUSH_BUDGET_MS) && m_pendingRows.count() == 0) {
            appendBreakRows();
            flushFor(FINAL_FLUSH_BUDGET_MS);
        } else {
            m_bBreakRowsPending = true;
        }
        writeRecordedRange();
        m_pStore->stopRecording();
        m_bRangePending = m_pendingRows.count() > 0 || m_bBreakRowsPending;
        if (m_bRangePending)
            m_drainTimer->start(m_bStoreWriteFailing ? WRITE_DB_MS : CATCH_UP_MS);
    }
}

bool Recorder::saveRecordEnd()
{
    return writeKey(QStringLiteral("record_stop_time"), m_strRecordEnd);
}

bool Recorder::writeKey(const QString &key, const QString &value)
{
    return ProjectFile::writeValue(m_strProjectFile, key, value);
}

void Recorder::setKeepAlive(bool on)
{
    qCDebug(lcApp) << "VelmoranMain::slotKeepAlive : " << (on ? "true" : "false");
    for (ConfiguredDevice *device : std::as_const(m_devices)) {
        if (device && device->linkType() == LINK_TCP)
            device->setKeepAlive(on);
    }
}

void Recorder::refreshDevices()
{
    for (ConfiguredDevice *device : std::as_const(m_devices)) {
        if (device)
            device->refreshData();
    }
}

bool Recorder::openUsbDevices(const QList<AvailableDevice *> &usbEntries)
{
    bool reopened = false;
    for (const AvailableDevice *entry : usbEntries) {
        ConfiguredDevice *device = findDevice(entry->id);
        if (!device)
            continue;
        if (device->link() && device->link()->isOpen())
            device->close();
        device->setConnection(device->deviceName(), device->ch1Name(), device->ch2Name(),
                              entry->address, USB_DEVICE_PORT);
        device->open();
        // The project file keeps the port the logger is on now.
        saveDevices();
        reopened = true;
    }
    return reopened;
}

bool Recorder::saveDevices()
{
    if (ProjectFile::saveDevices(m_strProjectFile, m_devices))
        return true;
    emit projectFileError();
    return false;
}

bool Recorder::flushStore()
{
    if (m_pStore->insertNow()) {
        m_bStoreWriteFailing = false;
        return true;
    }
    // The rows stay queued and the next flush retries them; say so once, not every 1.5 s.
    if (!m_bStoreWriteFailing) {
        m_bStoreWriteFailing = true;
        qCWarning(lcApp).noquote()
            << "Recorder : [ERROR] the database refuses the write:" << m_pStore->lastError();
        emit storeError(m_pStore->failureMessage());
    }
    return false;
}

// Writes slices of the queue until it is empty, a flush fails (false) or the budget is spent.
// A central database's worker takes one batch at a time; its answer is waited for only where
// waitForServer says so (the project closes), otherwise the event loop brings it.
bool Recorder::flushFor(int budgetMs, bool waitForServer)
{
    QElapsedTimer clock;
    clock.start();
    while (m_pendingRows.count() > 0) {
        if (!flushStore())
            return false;
        if (m_pStore->isServer() &&
            (!waitForServer ||
             !m_pStore->waitForServer(int(qMax<qint64>(1, budgetMs - clock.elapsed())))))
            break;
        if (clock.elapsed() >= budgetMs)
            break;
    }
    return true;
}

bool Recorder::hasDrainWork() const
{
    if (!m_leftovers.isEmpty())
        return true;
    if (!m_pStore || !m_pStore->isConnected())
        return false;
    // While recording, the flush tick writes what is short of one slice.
    const int pending = m_pendingRows.count();
    if (m_bRecording)
        return pending >= InsertSerialData::ROWS_PER_FLUSH;
    return pending > 0 || m_bBreakRowsPending || m_bRangePending;
}

void Recorder::drainStep()
{
    bool progressed = false;
    if (m_pStore && m_pStore->isConnected()) {
        const int pending = m_pendingRows.count();
        if (pending >= InsertSerialData::ROWS_PER_FLUSH || (!m_bRecording && pending > 0))
            progressed = flushStore();
        if (m_bBreakRowsPending && m_pendingRows.count() == 0)
            appendBreakRows();
        else if (m_bRangePending && m_pendingRows.count() == 0) {
            m_bRangePending = false;
            writeRecordedRange();
        }
    }
    if (!m_leftovers.isEmpty())
        progressed = writeLeftoverSlice() || progressed;
    if (hasDrainWork())
        m_drainTimer->start(progressed ? CATCH_UP_MS : WRITE_DB_MS);
}

// The first and last sample time of the database become the project's recorded range; a
// central database is asked in the background.
void Recorder::writeRecordedRange()
{
    if (m_pStore->isServer()) {
        m_bRangeOfRecording = true;
        m_nRangeRequest = m_pStore->requestRecordedRange(serials());
        return;
    }
    applyRecordedRange(recordTimeText(m_pStore->startDateTime()),
                       recordTimeText(m_pStore->endDateTime()));
}

void Recorder::onRangeRead(quint64 request, bool ok, qint64 from, qint64 to)
{
    if (request == 0 || request != m_nRangeRequest)
        return;
    m_nRangeRequest = 0;
    const QString startText = ok ? recordTimeText(uint(from)) : QString();
    const QString endText = ok ? recordTimeText(uint(to)) : QString();
    if (m_bRangeOfRecording)
        applyRecordedRange(startText, endText);
    else
        applyOpenedRange(startText, endText);
}

// The range of a project just opened: the texts shown, the project file left as it is.
void Recorder::applyOpenedRange(const QString &startText, const QString &endText)
{
    if (startText.isEmpty())
        return;
    if (!m_bRecording) {
        m_strRecordStart = startText;
        if (!endText.isEmpty())
            m_strRecordEnd = endText;
        emit recordedRangeChanged(startText, endText);
        return;
    }
    // Recording began before the answer came: it keeps the start of the first recording.
    if (!m_strRecordStart.isEmpty() && m_strRecordStart <= startText)
        return;
    m_strRecordStart = startText;
    if (!writeKey(QStringLiteral("record_start_time"), startText))
        emit projectFileError();
    emit recordedRangeChanged(startText, QString());
}

void Recorder::applyRecordedRange(const QString &startText, const QString &endText)
{
    bool saved = true;
    if (!startText.isEmpty())
        saved = writeKey(QStringLiteral("record_start_time"), startText);
    if (!endText.isEmpty())
        saved = writeKey(QStringLiteral("record_stop_time"), endText) && saved;
    if (!saved)
        emit projectFileError();
    if (m_bRecording)
        return;
    if (!startText.isEmpty())
        m_strRecordStart = startText;
    if (!endText.isEmpty())
        m_strRecordEnd = endText;
    emit recordedRangeChanged(startText, endText);
}

// One row without values per logger, a second after its last stored sample, marks where its
// line ends. A statement's rows join as a set whose order is not the queue's: the break rows
// are written once every sample of the recording is, so that they come after them.
void Recorder::appendBreakRows()
{
    m_bBreakRowsPending = false;
    for (ConfiguredDevice *device : std::as_const(m_devices)) {
        if (device)
            device->insertNoValue(m_pendingRows);
    }
}

// True when a slice of the oldest set-aside rows was written.
bool Recorder::writeLeftoverSlice()
{
    LeftoverRows *rows = m_leftovers.first();
    const LeftoverRows::Step step = rows->writeSlice();
    if (step == LeftoverRows::Step::Written && rows->count() > 0)
        return true;
    if (step == LeftoverRows::Step::Written) {
        writeLeftoverRange(rows);
    } else if (step == LeftoverRows::Step::Failed || rows->openFailures() < LEFTOVER_OPEN_TRIES) {
        return false;
    } else {
        qWarning().noquote() << "VelmoranMain : [ERROR]" << rows->count()
                             << "rows could not be written, their database cannot be opened:"
                             << rows->databasePath();
        emit storeError(QStringLiteral("%1 rows could not be written to\n%2")
                            .arg(rows->count())
                            .arg(QDir::toNativeSeparators(rows->databasePath())));
    }
    m_leftovers.removeFirst();
    delete rows;
    return step == LeftoverRows::Step::Written;
}

// The closed project's range now covers the rows written for it.
void Recorder::writeLeftoverRange(LeftoverRows *rows)
{
    qCDebug(lcApp).noquote() << "VelmoranMain : the rows set aside for" << rows->databasePath()
                             << "are written";
    const uint start = rows->store()->startDateTime();
    const uint end = rows->store()->endDateTime();
    if (start != 0)
        ProjectFile::writeValue(rows->projectFile(), QStringLiteral("record_start_time"),
                                recordTimeText(start));
    if (end != 0)
        ProjectFile::writeValue(rows->projectFile(), QStringLiteral("record_stop_time"),
                                recordTimeText(end));
}

// The program ends: one last try for the rows of closed projects, each slice bounded, stopping
// at the first database that refuses.
void Recorder::finishLeftoverRows()
{
    while (!m_leftovers.isEmpty()) {
        LeftoverRows *rows = m_leftovers.first();
        // A central database answers from its worker, and no event loop brings the answer now:
        // each batch is waited for, as long as the server takes to connect.
        while (rows->count() > 0 && rows->writeSlice() == LeftoverRows::Step::Written &&
               rows->store()->waitForServer(LEFTOVER_SERVER_WAIT_MS)) {
        }
        if (rows->count() > 0)
            qWarning().noquote() << "VelmoranMain : [ERROR]" << rows->count()
                                 << "rows could not be written to" << rows->databasePath();
        else
            writeLeftoverRange(rows);
        m_leftovers.removeFirst();
        delete rows;
    }
}

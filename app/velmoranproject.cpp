// The acquisition cycle and the project transitions of the main window.
#include "app/velmoranmain.h"
#include "store/logcategories.h"

#include "app/alarmsound.h"
#include "app/siblinglauncher.h"
#include "device/abstractdevice.h"
#include "device/configureddevice.h"
#include "device/pollinterval.h"
#include "discovery/availabledevicelist.h"
#include "discovery/networkdiscovery.h"
#include "discovery/usbenumerator.h"
#include "project/projectfile.h"
#include "project/projectmain.h"
#include "project/projectmanager.h"
#include "store/insertserialdata.h"
#include "store/leftoverrows.h"
#include "ui_velmoranmain.h"
#include "view/projectcenter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int WRITE_DB_MS = 1500;
// Between two slices of a backlog the event loop gets this long for input and repaints.
constexpr int CATCH_UP_MS = 10;
// How long stopping a recording, or closing its project, writes slices before it lets the
// drain timer write the rest: a few slices, so that the window never freezes for seconds.
constexpr int FINAL_FLUSH_BUDGET_MS = 100;
// Ticks in a row that a closed project's database may fail to open before its rows are given up.
constexpr int LEFTOVER_OPEN_TRIES = 20;
constexpr int DEFAULT_POLL_MS = 10000;
constexpr int MIN_POLL_MS = 100;
constexpr int KEEP_ALIVE_MAX_POLL_MS = 60000;
constexpr int FLUSH_ROWS_ONE_DEVICE = 8;
constexpr int FLUSH_ROWS_MORE_DEVICES = 16;
constexpr quint16 USB_DEVICE_PORT = 23;
constexpr double DATABASE_SIZE_LIMIT = 3.9 * 1024 * 1024 * 1024;

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

// A project file without a usable interval must not make the poll timer fire back to back,
// nor may a tiny one flood the loggers and the store.
int usablePollInterval(int ms)
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
} // namespace

void VelmoranMain::slotStdTimer()
{
    ui->label_datetime->setText(nowText());
    if (!m_pProjectCenter)
        return;

    const QString databasePath = ProjectFile::databasePath(m_strProjectFile);
    if (!m_pProjectCenter->recordEndText().isEmpty() &&
        !m_pProjectCenter->recordStartText().isEmpty() && QFileInfo::exists(databasePath)) {
        const qint64 size = InsertSerialData::databaseFileSize(databasePath);
        m_pProjectCenter->setDatabaseSize(size);
        if (double(size) >= DATABASE_SIZE_LIMIT && m_bIsRecordStart)
            slotStopRecord();
    }
    if (m_bIsRecordStart)
        m_pProjectCenter->setRecordEndText(nowText());

    m_pAlarmSound->update(AlarmSound::anyAlarm(m_configuredDeviceList));
}

void VelmoranMain::checkConnection()
{
    const QList<UsbPortPair> pairs =
        m_pUsbEnumerator ? m_pUsbEnumerator->enumerateUsbLoggers() : QList<UsbPortPair>();
    const AvailableDeviceList::UsbCheckResult result = m_pAvailDevices->checkConnection(pairs);
    if (result.openDevices)
        openKestrelixDevices();
    if (result.listChanged && m_pProjectManager)
        m_pProjectManager->setAvailDeviceList(m_pAvailDevices->all());
}

void VelmoranMain::writeDevice()
{
    if (!m_bIsProjectOpen)
        return;
    for (ConfiguredDevice *device : std::as_const(m_configuredDeviceList)) {
        if (device)
            device->requestData();
    }
}

void VelmoranMain::writeDb()
{
    if (!m_pInsertSerialData || !m_pInsertSerialData->isConnected())
        return;
    const int threshold =
        m_configuredDeviceList.size() > 1 ? FLUSH_ROWS_MORE_DEVICES : FLUSH_ROWS_ONE_DEVICE;
    if (InsertSerialData::pendingRowCount() >= threshold && flushStore() && hasDrainWork())
        m_drainTimer->start(CATCH_UP_MS);
}

bool VelmoranMain::flushStore()
{
    if (m_pInsertSerialData->insertNow()) {
        m_bStoreWriteFailing = false;
        return true;
    }
    // The rows stay queued and the next flush retries them; say so once, not every 1.5 s.
    if (!m_bStoreWriteFailing) {
        m_bStoreWriteFailing = true;
        showTimedMessage(QStringLiteral("ERROR"), m_pInsertSerialData->failureMessage());
    }
    return false;
}

// Writes slices of the queue until it is empty, a flush fails (false) or the budget is spent.
bool VelmoranMain::flushFor(int budgetMs)
{
    QElapsedTimer clock;
    clock.start();
    while (InsertSerialData::pendingRowCount() > 0) {
        if (!flushStore())
            return false;
        if (clock.elapsed() >= budgetMs)
            break;
    }
    return true;
}

bool VelmoranMain::hasDrainWork() const
{
    if (!m_leftovers.isEmpty())
        return true;
    if (!m_pInsertSerialData || !m_pInsertSerialData->isConnected())
        return false;
    // While recording, the flush tick writes what is short of one slice.
    const int pending = InsertSerialData::pendingRowCount();
    if (m_bIsRecordStart)
        return pending >= InsertSerialData::ROWS_PER_FLUSH;
    return pending > 0 || m_bBreakRowsPending || m_bRangePending;
}

void VelmoranMain::drainStep()
{
    bool progressed = false;
    if (m_pInsertSerialData && m_pInsertSerialData->isConnected()) {
        const int pending = InsertSerialData::pendingRowCount();
        if (pending >= InsertSerialData::ROWS_PER_FLUSH || (!m_bIsRecordStart && pending > 0))
            progressed = flushStore();
        if (m_bBreakRowsPending && InsertSerialData::pendingRowCount() == 0)
            appendBreakRows();
        else if (m_bRangePending && InsertSerialData::pendingRowCount() == 0) {
            m_bRangePending = false;
            writeRecordedRange();
        }
    }
    if (!m_leftovers.isEmpty())
        progressed = writeLeftoverSlice() || progressed;
    if (hasDrainWork())
        m_drainTimer->start(progressed ? CATCH_UP_MS : WRITE_DB_MS);
}

// The first and last sample time of the database become the project's recorded range.
void VelmoranMain::writeRecordedRange()
{
    const QString startText = recordTimeText(m_pInsertSerialData->startDateTime());
    const QString endText = recordTimeText(m_pInsertSerialData->endDateTime());
    bool saved = true;
    if (!startText.isEmpty())
        saved = ProjectFile::writeValue(m_strProjectFile, QStringLiteral("record_start_time"),
                                        startText);
    if (!endText.isEmpty())
        saved = ProjectFile::writeValue(m_strProjectFile, QStringLiteral("record_stop_time"),
                                        endText) &&
                saved;
    if (!saved)
        reportProjectFileError();
    if (m_pProjectCenter && !m_bIsRecordStart) {
        if (!startText.isEmpty())
            m_pProjectCenter->setRecordStartText(startText);
        if (!endText.isEmpty())
            m_pProjectCenter->setRecordEndText(endText);
    }
}

// One row without values per logger, a second after its last stored sample, marks where its
// line ends. A statement's rows join as a set whose order is not the queue's: the break rows
// are written once every sample of the recording is, so that they come after them.
void VelmoranMain::appendBreakRows()
{
    m_bBreakRowsPending = false;
    for (ConfiguredDevice *device : std::as_const(m_configuredDeviceList)) {
        if (device)
            device->insertNoValue();
    }
}

// True when a slice of the oldest set-aside rows was written.
bool VelmoranMain::writeLeftoverSlice()
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
        showTimedMessage(QStringLiteral("ERROR"),
                         QStringLiteral("%1 rows could not be written to\n%2")
                             .arg(rows->count())
                             .arg(QDir::toNativeSeparators(rows->databasePath())));
    }
    m_leftovers.removeFirst();
    delete rows;
    return step == LeftoverRows::Step::Written;
}

// The closed project's range now covers the rows written for it.
void VelmoranMain::writeLeftoverRange(LeftoverRows *rows)
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
void VelmoranMain::finishLeftoverRows()
{
    while (!m_leftovers.isEmpty()) {
        LeftoverRows *rows = m_leftovers.first();
        while (rows->count() > 0 && rows->writeSlice() == LeftoverRows::Step::Written) {
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

void VelmoranMain::slotToggleRecord()
{
    if (m_bIsRecordStart)
        slotStopRecord();
    else
        slotStartRecord();
}

void VelmoranMain::slotStartRecord()
{
    m_writeDbTimer->stop();
    if (!m_pInsertSerialData || !m_pInsertSerialData->isConnected()) {
        showTimedMessage(QStringLiteral("ERROR"), QStringLiteral("Database does not exist."));
        qCWarning(lcApp) << "VelmoranMain::slotStartRecord : [ERROR] Database does not exist";
        return;
    }
    if (!startStoreRecording())
        return;
    // Rows of the last recording may still wait: its break rows go before the new samples.
    if (m_bBreakRowsPending)
        appendBreakRows();
    toggleRecordState(true);
    m_bRangePending = false;
    m_writeDbTimer->start(WRITE_DB_MS);
    ui->label_record_state->setPixmap(*m_pixRecording);
    if (m_pProjectCenter) {
        m_pProjectCenter->setRecordState(true);
        if (!ProjectFile::writeValue(m_strProjectFile, QStringLiteral("record_start_time"),
                                     m_pProjectCenter->recordStartText()))
            reportProjectFileError();
    }
}

void VelmoranMain::slotStopRecord()
{
    toggleRecordState(false);
    m_writeDbTimer->stop();

    ui->label_record_state->setPixmap(*m_pixReady);
    if (m_pProjectCenter)
        m_pProjectCenter->setRecordState(false);

    if (m_pInsertSerialData && m_pInsertSerialData->isConnected()) {
        // A long backlog is written a slice at a time: what the budget leaves is written by the
        // drain timer, which then adds the break rows and writes the range again.
        if (flushFor(FINAL_FLUSH_BUDGET_MS) && InsertSerialData::pendingRowCount() == 0) {
            appendBreakRows();
            flushFor(FINAL_FLUSH_BUDGET_MS);
        } else {
            m_bBreakRowsPending = true;
        }
        writeRecordedRange();
        m_pInsertSerialData->stopRecording();
        m_bRangePending = InsertSerialData::pendingRowCount() > 0 || m_bBreakRowsPending;
        if (m_bRangePending)
            m_drainTimer->start(m_bStoreWriteFailing ? WRITE_DB_MS : CATCH_UP_MS);
    }
}

// A central database is reached, and this recorder registered for its loggers, or recording
// does not start.
bool VelmoranMain::startStoreRecording()
{
    QStringList serials;
    for (const ConfiguredDevice *device : std::as_const(m_configuredDeviceList)) {
        if (device)
            serials.append(device->m_strDeviceNumber);
    }
    QString refusal;
    if (m_pInsertSerialData->startRecording(serials, m_strProjectFile, &refusal))
        return true;
    qCWarning(lcApp).noquote() << "VelmoranMain::slotStartRecord : [ERROR]" << refusal;
    showTimedMessage(QStringLiteral("ERROR"), refusal);
    return false;
}

bool VelmoranMain::createInsertSerialData(const QString &databasePath)
{
    m_pInsertSerialData = new InsertSerialData(databasePath, m_strConnectionPrefix, this);
    if (m_pInsertSerialData->createConnection()) {
        qCDebug(lcApp) << "VelmoranMain::createInsertSerialData : " << databasePath;
        return true;
    }
    qCWarning(lcApp).noquote()
        << "VelmoranMain::createInsertSerialData : [ERROR] Create database error" << databasePath
        << ":" << m_pInsertSerialData->lastError();
    delete m_pInsertSerialData;
    m_pInsertSerialData = nullptr;
    QMessageBox::critical(nullptr, QStringLiteral("ERROR"),
                          QStringLiteral("Create database error!\nExit program."), QMessageBox::Ok);
    m_bExitRequested = true;
    close();
    // Does nothing before the event loop runs; main() then looks at exitRequested().
    QCoreApplication::exit(0);
    return false;
}

void VelmoranMain::deleteInsertSerialData()
{
    if (!m_pInsertSerialData)
        return;
    // Rows still queued belong to this project's database: a bounded last try, then they are
    // set aside for it, never left for the next project's store.
    if (m_pInsertSerialData->isConnected() && InsertSerialData::pendingRowCount() > 0)
        flushFor(FINAL_FLUSH_BUDGET_MS);
    if (m_bBreakRowsPending) {
        const bool written = InsertSerialData::pendingRowCount() == 0;
        appendBreakRows();
        if (written)
            flushFor(FINAL_FLUSH_BUDGET_MS);
    }
    if (m_bRangePending && InsertSerialData::pendingRowCount() == 0)
        writeRecordedRange();
    m_bRangePending = false;
    if (InsertSerialData::pendingRowCount() > 0) {
        qWarning().noquote() << "VelmoranMain::deleteInsertSerialData : [ERROR]"
                             << InsertSerialData::pendingRowCount()
                             << "rows are not written yet; they are kept for"
                             << m_pInsertSerialData->databasePath();
        m_leftovers.append(new LeftoverRows(
            m_pInsertSerialData->databasePath(),
            m_strConnectionPrefix + QStringLiteral("leftover%1").arg(++m_nLeftoverConnections),
            PendingRowQueue::instance(), m_strProjectFile));
        m_drainTimer->start(m_bStoreWriteFailing ? WRITE_DB_MS : CATCH_UP_MS);
    }
    delete m_pInsertSerialData;
    m_pInsertSerialData = nullptr;
    qCDebug(lcApp) << "VelmoranMain::deleteInsertSerialData()";
}

void VelmoranMain::openKestrelixDevices()
{
    qCDebug(lcApp) << "=== VelmoranMain::openKestrelixDevices ===";
    if (!m_bIsProjectOpen)
        return;
    const QList<AvailableDevice *> usbEntries = m_pAvailDevices->serialDevices();
    for (const AvailableDevice *entry : usbEntries) {
        ConfiguredDevice *device = findConfiguredDevice(entry->id);
        if (!device)
            continue;
        if (device->m_pDevice && device->m_pDevice->isOpen())
            device->close();
        device->setConnection(device->m_strDeviceName, device->m_strCh1Name, device->m_strCh2Name,
                              entry->address, USB_DEVICE_PORT);
        device->open();
        slotUpdateProjectFile();
    }
}

ConfiguredDevice *VelmoranMain::findConfiguredDevice(const QString &deviceNumber) const
{
    for (ConfiguredDevice *device : m_configuredDeviceList) {
        if (device && device->m_strDeviceNumber == deviceNumber)
            return device;
    }
    return nullptr;
}

void VelmoranMain::slotRefreshDevice()
{
    if (!m_bIsProjectOpen)
        return;
    for (ConfiguredDevice *device : std::as_const(m_configuredDeviceList)) {
        if (device)
            device->refreshData();
    }
}

void VelmoranMain::slotKeepAlive(bool on)
{
    m_bKeepAlive = on;
    saveOptionSettings();
    if (!m_bIsProjectOpen)
        return;
    qCDebug(lcApp) << "VelmoranMain::slotKeepAlive : " << (on ? "true" : "false");
    for (ConfiguredDevice *device : std::as_const(m_configuredDeviceList)) {
        if (device && device->m_nLinkType == LINK_TCP)
            device->setKeepAlive(on);
    }
}

void VelmoranMain::slotRefreshAvailDeviceList()
{
    qCDebug(lcApp) << "VelmoranMain::slotRefreshAvailDeviceList()";
    checkConnection();
    broadcastDevice();
}

void VelmoranMain::broadcastDevice()
{
    m_pDiscovery->broadcastDevice();
}

void VelmoranMain::readPendingDatagrams()
{
    m_pDiscovery->readPendingDatagrams();
}

void VelmoranMain::slotSndUdpSocketDeleted()
{
    m_pDiscovery->slotSndUdpSocketDeleted();
}

void VelmoranMain::slotRcvUdpSocketDeleted()
{
    m_pDiscovery->slotRcvUdpSocketDeleted();
}

void VelmoranMain::detachDeviceViews()
{
    for (ConfiguredDevice *device : std::as_const(m_configuredDeviceList)) {
        if (!device)
            continue;
        device->clearListItem();
        device->clearDashboardItems();
        device->clearChartView();
    }
}

void VelmoranMain::deleteConfiguredDevices()
{
    detachDeviceViews();
    for (ConfiguredDevice *device : std::as_const(m_configuredDeviceList)) {
        if (!device)
            continue;
        device->close();
        delete device;
    }
    m_configuredDeviceList.clear();
}

void VelmoranMain::removeProjectMain()
{
    if (!m_pProjectMain)
        return;
    m_centralLayout->removeWidget(m_pProjectMain);
    m_pProjectMain->close();
    // It may be the sender of the signal being handled.
    m_pProjectMain->deleteLater();
    m_pProjectMain = nullptr;
}

void VelmoranMain::removeProjectManager()
{
    if (!m_pProjectManager)
        return;
    m_centralLayout->removeWidget(m_pProjectManager);
    m_pProjectManager->close();
    m_pProjectManager->deleteLater();
    m_pProjectManager = nullptr;
}

void VelmoranMain::removeProjectCenter()
{
    if (!m_pProjectCenter)
        return;
    m_centralLayout->removeWidget(m_pProjectCenter);
    m_pProjectCenter->close();
    delete m_pProjectCenter;
    m_pProjectCenter = nullptr;
}

void VelmoranMain::showProjectManager()
{
    m_pProjectManager = new ProjectManager;
    m_pProjectManager->setProjectFile(m_strProjectFile);
    connect(m_pProjectManager, &ProjectManager::refreshAvailDeviceList, this,
            &VelmoranMain::slotRefreshAvailDeviceList);
    connect(m_pProjectManager, &ProjectManager::projectListConfirm, this,
            &VelmoranMain::projectListConfirm);
}

void VelmoranMain::updateIntervalLabel()
{
    ui->label_interval->setText(QStringLiteral("Interval : ") + intervalText(pollInterval()));
}

void VelmoranMain::reportProjectFileError()
{
    showTimedMessage(QStringLiteral("ERROR"),
                     QStringLiteral("Unable to save the project file.\nPlease retry."));
}

void VelmoranMain::slotUpdateProjectFile()
{
    if (!ProjectFile::saveDevices(m_strProjectFile, m_configuredDeviceList))
        reportProjectFileError();
}

void VelmoranMain::projectCreated(const QString &path)
{
    deleteInsertSerialData();
    removeProjectMain();

    m_strProjectFile = path;
    m_strProjectName = ProjectFile::baseName(path);
    ui->label_projectname->setText(ProjectFile::projectLabel(m_strProjectFile, m_strProjectName));
    if (!ProjectFile::create(path, m_strProjectName, pollInterval()))
        reportProjectFileError();

    showProjectManager();
    m_pProjectManager->setConfiguredDeviceList(m_configuredDeviceList);
    m_pProjectManager->setAvailDeviceList(m_pAvailDevices->all());
    m_centralLayout->addWidget(m_pProjectManager);
    m_pProjectManager->show();

    setProjectActionsEnabled(false);
    m_actClose->setEnabled(true);
    checkConnection();
    broadcastDevice();
}

void VelmoranMain::projectLoaded(const QString &path)
{
    QList<DeviceRecord> records;
    if (!ProjectFile::parseDeviceList(ProjectFile::readDeviceList(path), &records)) {
        showTimedMessage(QStringLiteral("ERROR"),
                         QStringLiteral("There is no device information!"));
        return;
    }
    ProjectFile::applyRecords(records, &m_configuredDeviceList, m_actKeepAlive->isChecked());

    deleteInsertSerialData();
    removeProjectMain();

    m_strProjectFile = path;
    m_strProjectName = ProjectFile::baseName(path);
    addRecentProject();

    ProjectInfo info;
    ProjectFile::readInfo(path, &info);
    m_strProjectName = info.projectName;
    setPollInterval(usablePollInterval(info.dataInterval));
    m_dashboardNames = info.dashboardNames;

    ui->label_projectname->setText(ProjectFile::projectLabel(m_strProjectFile, m_strProjectName));
    updateIntervalLabel();
    setProjectActionsEnabled(true);
    startProjectCenter();
}

void VelmoranMain::projectListConfirm(QList<ConfiguredDevice *> devices, QStringList dashboardNames)
{
    // Devices taken off the dashboards in the panel are ours to release.
    for (ConfiguredDevice *device : std::as_const(m_configuredDeviceList)) {
        if (!device || devices.contains(device))
            continue;
        device->clearListItem();
        device->clearDashboardItems();
        device->clearChartView();
        device->close();
        delete device;
    }
    m_configuredDeviceList = devices;
    m_dashboardNames = dashboardNames;

    m_pDiscovery->closeSockets();
    removeProjectManager();

    bool saved = ProjectFile::saveDevices(m_strProjectFile, m_configuredDeviceList);
    saved = ProjectFile::writeConfiguration(m_strProjectFile, pollInterval(), m_dashboardNames) &&
            saved;
    if (!saved)
        reportProjectFileError();
    updateIntervalLabel();

    addRecentProject();
    setProjectActionsEnabled(true);
    startProjectCenter();
}

void VelmoranMain::startProjectCenter()
{
    m_pProjectCenter = new ProjectCenter(m_strProjectFile);
    connect(m_pProjectCenter, &ProjectCenter::clickRecord, this, &VelmoranMain::slotToggleRecord);
    connect(m_pProjectCenter, &ProjectCenter::updateProjectFile, this,
            &VelmoranMain::slotUpdateProjectFile);

    if (!createInsertSerialData(ProjectFile::storeLocation(m_strProjectFile)))
        return;
    m_pProjectCenter->setRecordTimes(recordTimeText(m_pInsertSerialData->startDateTime()),
                                     recordTimeText(m_pInsertSerialData->endDateTime()));

    m_pProjectCenter->setDeviceList(m_configuredDeviceList);
    m_pProjectCenter->setDashboardNames(m_dashboardNames);
    m_centralLayout->addWidget(m_pProjectCenter);
    m_pProjectCenter->show();

    m_actKeepAlive->setEnabled(pollInterval() <= KEEP_ALIVE_MAX_POLL_MS);
    slotKeepAlive(m_bKeepAlive);
    openKestrelixDevices();
    writeDevice();
    if (m_bIsProjectOpen)
        m_writeDeviceTimer->start(usablePollInterval(pollInterval()));
    if (m_bAutoRecord)
        slotToggleRecord();
}

void VelmoranMain::slotAddDeviceProject()
{
    qCDebug(lcApp) << "=== VelmoranMain::slotAddDeviceProject ===";
    m_writeDeviceTimer->stop();
    m_pAlarmSound->stop();

    setProjectActionsEnabled(false);
    deleteInsertSerialData();
    detachDeviceViews();
    m_actClose->setEnabled(true);

    removeProjectCenter();
    m_actExpansionMode->setChecked(false);
    removeProjectManager();

    showProjectManager();
    m_pProjectManager->setIntervalDisabled(true);
    m_pProjectManager->setConfiguredDeviceList(m_configuredDeviceList);
    m_pProjectManager->setAvailDeviceList(m_pAvailDevices->all());
    m_pProjectManager->setDashboardNames(m_dashboardNames);
    m_centralLayout->addWidget(m_pProjectManager);
    m_pProjectManager->show();

    for (ConfiguredDevice *device : std::as_const(m_configuredDeviceList)) {
        if (device)
            device->close();
    }
    checkConnection();
    broadcastDevice();
}

void VelmoranMain::slotCloseProject()
{
    closeProjectState();

    removeProjectCenter();
    removeProjectManager();
    m_actExpansionMode->setChecked(false);

    removeProjectMain();
    m_pProjectMain = new ProjectMain(&m_recentList, &m_recentProjects);
    connect(m_pProjectMain, &ProjectMain::projectCreated, this, &VelmoranMain::projectCreated);
    connect(m_pProjectMain, &ProjectMain::projectLoaded, this, &VelmoranMain::projectLoaded);
    m_centralLayout->addWidget(m_pProjectMain);
    m_pProjectMain->show();
}

void VelmoranMain::closeProjectState()
{
    m_pDiscovery->closeSockets();
    m_writeDeviceTimer->stop();
    m_pAlarmSound->stop();

    setProjectActionsEnabled(false);
    ui->label_projectname->setText(QString());
    ui->label_interval->setText(QString());

    if (m_bIsRecordStart)
        slotStopRecord();

    deleteInsertSerialData();
    // The centre's views point into the devices; it goes before them.
    removeProjectCenter();
    m_actExpansionMode->setChecked(false);
    deleteConfiguredDevices();

    m_actKeepAlive->setEnabled(true);
    setPollInterval(DEFAULT_POLL_MS);
}

void VelmoranMain::slotPlotvaneRecord()
{
    launchSibling(QStringLiteral("Plotvane"),
                  QStringLiteral("Please check the Plotvane execution file."));
}

void VelmoranMain::slotReportDaily()
{
    launchSibling(QStringLiteral("Ledgerist"),
                  QStringLiteral("Please check the Ledgerist execution file."));
}

void VelmoranMain::launchSibling(const QString &program, const QString &failureText)
{
    const SiblingLauncher launcher(m_strProjectFile);
    if (!launcher.databaseExists()) {
        showTimedMessage(QStringLiteral("ERROR"), QStringLiteral("Database does not exist."));
        return;
    }
    // The tool shows the recorded range up to the end the window shows now.
    if (m_pProjectCenter &&
        !ProjectFile::writeValue(m_strProjectFile, QStringLiteral("record_stop_time"),
                                 m_pProjectCenter->recordEndText()))
        reportProjectFileError();
    if (!launcher.start(program))
        showTimedMessage(QStringLiteral("ERROR"), failureText);
}

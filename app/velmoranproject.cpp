// The acquisition cycle and the project transitions of the main window.
#include "app/velmoranmain.h"
#include "store/logcategories.h"

#include "app/alarmsound.h"
#include "app/siblinglauncher.h"
#include "device/alarmeventlog.h"
#include "device/configureddevice.h"
#include "device/pollinterval.h"
#include "discovery/availabledevicelist.h"
#include "discovery/networkdiscovery.h"
#include "discovery/usbenumerator.h"
#include "project/projectfile.h"
#include "project/projectmain.h"
#include "project/projectmanager.h"
#include "recorder/recorder.h"
#include "ui_velmoranmain.h"
#include "view/projectcenter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QVBoxLayout>

namespace {
constexpr int DEFAULT_POLL_MS = 10000;
constexpr int KEEP_ALIVE_MAX_POLL_MS = 60000;

int usablePollInterval(int ms)
{
    return Recorder::usablePollInterval(ms);
}

QString nowText()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}
} // namespace

void VelmoranMain::connectRecorder()
{
    connect(m_pRecorder, &Recorder::recordingStarted, this, [this] {
        toggleRecordState(true);
        ui->label_record_state->setPixmap(*m_pixRecording);
        if (m_pProjectCenter) {
            m_pProjectCenter->setRecordStartText(m_pRecorder->recordStartText());
            m_pProjectCenter->setRecordState(true);
        }
    });
    connect(m_pRecorder, &Recorder::recordingStopped, this, [this] {
        toggleRecordState(false);
        ui->label_record_state->setPixmap(*m_pixReady);
        if (m_pProjectCenter)
            m_pProjectCenter->setRecordState(false);
    });
    connect(m_pRecorder, &Recorder::recordedRangeChanged, this,
            [this](const QString &start, const QString &end) {
                if (!m_pProjectCenter)
                    return;
                if (!start.isEmpty())
                    m_pProjectCenter->setRecordStartText(start);
                if (!end.isEmpty())
                    m_pProjectCenter->setRecordEndText(end);
            });
    connect(m_pRecorder, &Recorder::recordEndTimeChanged, this, [this](const QString &end) {
        if (m_pProjectCenter)
            m_pProjectCenter->setRecordEndText(end);
    });
    connect(m_pRecorder, &Recorder::databaseSizeChanged, this, [this](qint64 bytes) {
        if (m_pProjectCenter)
            m_pProjectCenter->setDatabaseSize(bytes);
    });
    connect(m_pRecorder, &Recorder::storeError, this,
            [this](const QString &message) { showTimedMessage(QStringLiteral("ERROR"), message); });
    connect(m_pRecorder, &Recorder::eventLogError, this,
            [this](const QString &message) { showTimedMessage(QStringLiteral("ERROR"), message); });
    connect(m_pRecorder, &Recorder::projectFileError, this, &VelmoranMain::reportProjectFileError);
}

AlarmEventLog *VelmoranMain::eventLog() const
{
    return m_pRecorder->eventLog();
}

void VelmoranMain::slotStdTimer()
{
    ui->label_datetime->setText(nowText());
    if (!m_pProjectCenter)
        return;
    const int unacknowledged = m_pRecorder->unacknowledgedAlarms();
    m_pAlarmCountLabel->setText(
        unacknowledged > 0 ? QStringLiteral("Unacknowledged alarms: %1").arg(unacknowledged)
                           : QString());
    m_pAlarmSound->update(m_pRecorder->wantsAlarmSound());
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
    if (m_bIsProjectOpen)
        m_pRecorder->poll();
}

void VelmoranMain::writeDb()
{
    m_pRecorder->flush();
}

void VelmoranMain::drainStep()
{
    m_pRecorder->drainStep();
}

void VelmoranMain::slotToggleRecord()
{
    if (m_pRecorder->isRecording())
        slotStopRecord();
    else
        slotStartRecord();
}

void VelmoranMain::slotStartRecord()
{
    m_pRecorder->startRecording();
}

void VelmoranMain::slotStopRecord()
{
    m_pRecorder->stopRecording();
}

bool VelmoranMain::createInsertSerialData()
{
    const Recorder::OpenResult result = m_pRecorder->openStore(m_strProjectFile);
    if (result == Recorder::OpenResult::Opened)
        return true;
    if (result == Recorder::OpenResult::Locked) {
        showTimedMessage(QStringLiteral("ERROR"),
                         QStringLiteral("This project is being recorded by another program "
                                        "(process %1).\nClose it there first.")
                             .arg(m_pRecorder->lockOwner()));
        return false;
    }
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
    m_pRecorder->closeStore();
}

void VelmoranMain::openKestrelixDevices()
{
    qCDebug(lcApp) << "=== VelmoranMain::openKestrelixDevices ===";
    if (!m_bIsProjectOpen)
        return;
    m_pRecorder->openUsbDevices(m_pAvailDevices->serialDevices());
}

void VelmoranMain::slotRefreshDevice()
{
    if (m_bIsProjectOpen)
        m_pRecorder->refreshDevices();
}

void VelmoranMain::slotKeepAlive(bool on)
{
    m_bKeepAlive = on;
    saveOptionSettings();
    if (m_bIsProjectOpen)
        m_pRecorder->setKeepAlive(on);
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
    const QList<ConfiguredDevice *> devices = m_pRecorder->devices();
    for (ConfiguredDevice *device : devices) {
        if (!device)
            continue;
        device->clearDashboardItems();
        device->clearChartView();
    }
}

void VelmoranMain::deleteConfiguredDevices()
{
    detachDeviceViews();
    m_pRecorder->deleteDevices();
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
    m_pProjectManager->setPollInterval(m_nPollInterval);
    connect(m_pProjectManager, &ProjectManager::pollIntervalChanged, this,
            &VelmoranMain::setPollInterval);
    connect(m_pProjectManager, &ProjectManager::refreshAvailDeviceList, this,
            &VelmoranMain::slotRefreshAvailDeviceList);
    connect(m_pProjectManager, &ProjectManager::projectListConfirm, this,
            &VelmoranMain::projectListConfirm);
}

void VelmoranMain::updateIntervalLabel()
{
    ui->label_interval->setText(QStringLiteral("Interval : ") + intervalText(m_nPollInterval));
}

void VelmoranMain::setPollInterval(int ms)
{
    m_nPollInterval = ms;
    m_pRecorder->setPollInterval(ms);
}

void VelmoranMain::reportProjectFileError()
{
    showTimedMessage(QStringLiteral("ERROR"),
                     QStringLiteral("Unable to save the project file.\nPlease retry."));
}

void VelmoranMain::slotUpdateProjectFile()
{
    m_pRecorder->saveDevices();
}

void VelmoranMain::projectCreated(const QString &path)
{
    deleteInsertSerialData();
    removeProjectMain();

    m_strProjectFile = path;
    m_strProjectName = ProjectFile::baseName(path);
    ui->label_projectname->setText(ProjectFile::projectLabel(m_strProjectFile, m_strProjectName));
    if (!ProjectFile::create(path, m_strProjectName, m_nPollInterval))
        reportProjectFileError();

    showProjectManager();
    m_pProjectManager->setConfiguredDeviceList(m_pRecorder->devices());
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
    QList<ConfiguredDevice *> devices = m_pRecorder->devices();
    ProjectFile::applyRecords(records, &devices, m_actKeepAlive->isChecked());
    m_pRecorder->setDevices(devices);

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
    const QList<ConfiguredDevice *> previous = m_pRecorder->devices();
    m_pRecorder->eventLog()->logDeviceChanges(previous, devices);
    for (ConfiguredDevice *device : previous) {
        if (!device || devices.contains(device))
            continue;
        device->clearDashboardItems();
        device->clearChartView();
    }
    m_pRecorder->setDevices(devices);
    m_dashboardNames = dashboardNames;

    m_pDiscovery->closeSockets();
    removeProjectManager();

    bool saved = ProjectFile::saveDevices(m_strProjectFile, devices);
    saved = ProjectFile::writeConfiguration(m_strProjectFile, m_nPollInterval, m_dashboardNames) &&
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

    if (!createInsertSerialData()) {
        // Another program records this project: back to the open/create panel.
        if (!m_bExitRequested)
            slotCloseProject();
        return;
    }
    m_pProjectCenter->setRecordTimes(m_pRecorder->recordStartText(), m_pRecorder->recordEndText());
    connect(m_pProjectCenter, &ProjectCenter::eventsAcknowledged, m_pRecorder->eventLog(),
            &AlarmEventLog::silence);
    connect(m_pProjectCenter, &ProjectCenter::communicationLossAlarmChanged,
            m_pRecorder->eventLog(), &AlarmEventLog::setCommunicationLossSound);

    m_pProjectCenter->setDeviceList(m_pRecorder->devices());
    m_pProjectCenter->setDashboardNames(m_dashboardNames);
    m_centralLayout->addWidget(m_pProjectCenter);
    m_pProjectCenter->show();

    m_actKeepAlive->setEnabled(m_nPollInterval <= KEEP_ALIVE_MAX_POLL_MS);
    slotKeepAlive(m_bKeepAlive);
    openKestrelixDevices();
    if (m_bIsProjectOpen) {
        m_pRecorder->setPollInterval(usablePollInterval(m_nPollInterval));
        m_pRecorder->startPolling();
    }
    if (m_bAutoRecord)
        slotToggleRecord();
}

void VelmoranMain::slotAddDeviceProject()
{
    qCDebug(lcApp) << "=== VelmoranMain::slotAddDeviceProject ===";
    m_pRecorder->stopPolling();
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
    m_pProjectManager->setConfiguredDeviceList(m_pRecorder->devices());
    m_pProjectManager->setAvailDeviceList(m_pAvailDevices->all());
    m_pProjectManager->setDashboardNames(m_dashboardNames);
    m_centralLayout->addWidget(m_pProjectManager);
    m_pProjectManager->show();

    m_pRecorder->closeDevices();
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
    m_pRecorder->stopPolling();
    m_pAlarmSound->stop();

    setProjectActionsEnabled(false);
    ui->label_projectname->setText(QString());
    ui->label_interval->setText(QString());

    if (m_pRecorder->isRecording())
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
    if (m_pProjectCenter && !m_pRecorder->saveRecordEnd())
        reportProjectFileError();
    if (!launcher.start(program))
        showTimedMessage(QStringLiteral("ERROR"), failureText);
}

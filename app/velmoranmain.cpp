#include "app/velmoranmain.h"
#include "store/logcategories.h"

#include "app/alarmsound.h"
#include "device/alarmeventlog.h"
#include "device/configureddevice.h"
#include "discovery/availabledevicelist.h"
#include "discovery/networkdiscovery.h"
#include "discovery/usbenumerator.h"
#include "project/projectmain.h"
#include "project/projectmanager.h"
#include "project/timedmessage.h"
#include "recorder/recorder.h"
#include "store/insertserialdata.h"
#include "ui_velmoranmain.h"
#include "view/projectcenter.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const char *const VERSION_TEXT = "V3.54";
const char *const APP_TITLE = "Velmoran Lite";
const char *const SETTINGS_ORGANISATION = "VelmoranLite";
const char *const SETTINGS_GROUP = "RecentProjects";
constexpr int STD_TIMER_MS = 1000;
constexpr int CHECK_CONNECTION_MS = 1500;
// Outside the recent-projects group, which the sibling programs may read.
const char *const WINDOW_GEOMETRY_KEY = "Window/geometry";

QSettings *openSettings(QObject *parent)
{
    return new QSettings(QSettings::NativeFormat, QSettings::UserScope,
                         QString::fromLatin1(SETTINGS_ORGANISATION), QString::fromLatin1(APP_TITLE),
                         parent);
}
} // namespace

VelmoranMain::VelmoranMain(QWidget *parent)
    : QWidget(parent), m_pAvailDevices(new AvailableDeviceList),
      m_pUsbEnumerator(createPlatformUsbEnumerator())
{
    ui = new Ui::VelmoranMain;
    ui->setupUi(this);
    m_centralLayout = new QVBoxLayout(ui->centralFrame);
    m_centralLayout->setContentsMargins(0, 0, 0, 0);

    setWindowTitle(QString::fromLatin1(APP_TITLE));
    ui->label_version->setText(QString::fromLatin1(VERSION_TEXT));

    connect(ui->menuFrame, &TopCustomFrame::customDoubleClick, this, &VelmoranMain::topDblClick);
    connect(ui->command_project, &QAbstractButton::clicked, this,
            &VelmoranMain::slotCommandProject);
    connect(ui->command_record, &QAbstractButton::clicked, this, &VelmoranMain::slotCommandRecord);
    connect(ui->command_screen, &QAbstractButton::clicked, this, &VelmoranMain::slotCommandScreen);
    connect(ui->command_help, &QAbstractButton::clicked, this, &VelmoranMain::slotCommandHelp);

    ui->label_datetime->setText(
        QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")));

    createMenus();
    m_pixReady = new QPixmap(QStringLiteral(":/img/StateReady.png"));
    m_pixRecording = new QPixmap(QStringLiteral(":/img/StateRecording.png"));

    setProjectActionsEnabled(false);
    readSettings();
    pruneRecentProjects();

    m_pDiscovery = new NetworkDiscovery(m_pAvailDevices, this);
    connect(m_pDiscovery, &NetworkDiscovery::timedMessage, this, &VelmoranMain::showTimedMessage);
    connect(m_pDiscovery, &NetworkDiscovery::availableDevicesChanged, this, [this] {
        if (m_pProjectManager)
            m_pProjectManager->setAvailDeviceList(m_pAvailDevices->all());
    });

    m_pProjectMain = new ProjectMain(&m_recentList, &m_recentProjects);
    connect(m_pProjectMain, &ProjectMain::projectCreated, this, &VelmoranMain::projectCreated);
    connect(m_pProjectMain, &ProjectMain::projectLoaded, this, &VelmoranMain::projectLoaded);
    m_centralLayout->addWidget(m_pProjectMain);

    m_stdTimer = new QTimer(this);
    connect(m_stdTimer, &QTimer::timeout, this, &VelmoranMain::slotStdTimer);
    m_stdTimer->start(STD_TIMER_MS);
    m_checkConnectionTimer = new QTimer(this);
    connect(m_checkConnectionTimer, &QTimer::timeout, this, &VelmoranMain::checkConnection);
    m_checkConnectionTimer->start(CHECK_CONNECTION_MS);
    m_pRecorder = new Recorder(this);
    connectRecorder();

    setupAlarmSound();
    m_pAlarmCountLabel = new QLabel(this);
    m_pAlarmCountLabel->setObjectName(QStringLiteral("label_alarm_count"));
    ui->horizontalLayout_status->insertWidget(
        ui->horizontalLayout_status->indexOf(ui->label_datetime), m_pAlarmCountLabel);
    restoreWindowGeometry();

    if (!m_recentList.isEmpty() && !m_recentProjects.isEmpty() && m_bAutoLoad)
        projectLoaded(m_recentProjects.value(m_recentList.first()).toString());
}

VelmoranMain::~VelmoranMain()
{
    saveOptionSettings();
    m_pAlarmSound->reset();
    // Views hold pointers into the devices: cut them before either side goes away.
    detachDeviceViews();
    delete m_pProjectMain;
    delete m_pProjectManager;
    delete m_pProjectCenter;
    m_pProjectCenter = nullptr;
    deleteConfiguredDevices();
    delete m_pRecorder;
    delete m_pDiscovery;
    delete m_pAvailDevices;
    delete m_pUsbEnumerator;
    delete m_pixReady;
    delete m_pixRecording;
    delete ui;
}

void VelmoranMain::showTimedMessage(const QString &title, const QString &text)
{
    ::showTimedMessage(this, title, text);
}

void VelmoranMain::setUsbEnumerator(UsbEnumerator *enumerator)
{
    delete m_pUsbEnumerator;
    m_pUsbEnumerator = enumerator;
}

QList<ConfiguredDevice *> VelmoranMain::configuredDevices() const
{
    return m_pRecorder->devices();
}

InsertSerialData *VelmoranMain::store() const
{
    return m_pRecorder->store();
}

PendingRowQueue &VelmoranMain::pendingRows()
{
    return m_pRecorder->pendingRows();
}

bool VelmoranMain::isRecording() const
{
    return m_pRecorder->isRecording();
}

QList<AvailableDevice *> VelmoranMain::availableDevices() const
{
    return m_pAvailDevices->all();
}

QMenu *VelmoranMain::createMenu(const QString &title)
{
    auto *menu = new QMenu(title, this);
    // The text colour is named: the program's palette has light text for dark backgrounds.
    menu->setStyleSheet(
        QStringLiteral("background-color: rgb(203, 203, 203); color: rgb(30, 30, 30);"));
    QFont font = menu->font();
    font.setWeight(QFont::Bold);
    menu->setFont(font);
    return menu;
}

QAction *VelmoranMain::addMenuAction(QMenu *menu, const QString &objectName, const QString &text,
                                     bool checkable)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(objectName);
    action->setCheckable(checkable);
    return action;
}

void VelmoranMain::createMenus()
{
    m_projectMenu = createMenu(QStringLiteral("Project"));
    m_projectMenu->setObjectName(QStringLiteral("projectMenu"));
    m_actAddDelete =
        addMenuAction(m_projectMenu, QStringLiteral("actAddDelete"), QStringLiteral("Add/Delete"));
    m_actClose = addMenuAction(m_projectMenu, QStringLiteral("actClose"), QStringLiteral("Close"));
    m_projectMenu->addSeparator();
    m_actAutoLoad = addMenuAction(m_projectMenu, QStringLiteral("actAutoLoad"),
                                  QStringLiteral("Auto Load Recent Project"), true);
    m_actAutoRecord = addMenuAction(m_projectMenu, QStringLiteral("actAutoRecord"),
                                    QStringLiteral("Auto Start Record"), true);
    m_actKeepAlive = addMenuAction(m_projectMenu, QStringLiteral("actKeepAlive"),
                                   QStringLiteral("Keep Socket Connection"), true);
    m_projectMenu->addSeparator();
    m_actRefreshDevices = addMenuAction(m_projectMenu, QStringLiteral("actRefreshDevices"),
                                        QStringLiteral("Refresh Devices"));
    m_projectMenu->addSeparator();
    m_actExit = addMenuAction(m_projectMenu, QStringLiteral("actExit"), QStringLiteral("Exit"));

    connect(m_actAddDelete, &QAction::triggered, this, &VelmoranMain::slotAddDeviceProject);
    connect(m_actClose, &QAction::triggered, this, &VelmoranMain::slotCloseProject);
    connect(m_actAutoLoad, &QAction::triggered, this, &VelmoranMain::slotAutoProject);
    connect(m_actAutoRecord, &QAction::triggered, this, &VelmoranMain::slotAutoRecord);
    connect(m_actKeepAlive, &QAction::triggered, this, &VelmoranMain::slotKeepAlive);
    connect(m_actRefreshDevices, &QAction::triggered, this, &VelmoranMain::slotRefreshDevice);
    connect(m_actExit, &QAction::triggered, this, &QWidget::close);

    m_recordMenu = createMenu(QStringLiteral("Record"));
    m_recordMenu->setObjectName(QStringLiteral("recordMenu"));
    m_actPlotvane =
        addMenuAction(m_recordMenu, QStringLiteral("actPlotvane"), QStringLiteral("Plotvane"));
    m_recordMenu->addSeparator();
    m_reportMenu = createMenu(QStringLiteral("Report"));
    m_reportMenu->setObjectName(QStringLiteral("reportMenu"));
    m_recordMenu->addMenu(m_reportMenu);
    m_actDailyReport = addMenuAction(m_reportMenu, QStringLiteral("actDailyReport"),
                                     QStringLiteral("Daily Report"));
    m_actWeeklyReport = addMenuAction(m_reportMenu, QStringLiteral("actWeeklyReport"),
                                      QStringLiteral("Weekly Report"));
    m_actMonthlyReport = addMenuAction(m_reportMenu, QStringLiteral("actMonthlyReport"),
                                       QStringLiteral("Monthly Report"));
    m_actHaccpReport = addMenuAction(m_reportMenu, QStringLiteral("actHaccpReport"),
                                     QStringLiteral("HACCP Report"));
    m_actWeeklyReport->setEnabled(false);
    m_actMonthlyReport->setEnabled(false);
    m_actHaccpReport->setEnabled(false);
    m_reportMenu->addSeparator();
    m_actHistory =
        addMenuAction(m_reportMenu, QStringLiteral("actHistory"), QStringLiteral("History"));
    connect(m_actHistory, &QAction::triggered, this, [this] {
        if (m_pProjectCenter)
            m_pProjectCenter->slotShowHistory();
    });
    connect(m_actPlotvane, &QAction::triggered, this, &VelmoranMain::slotPlotvaneRecord);
    connect(m_actDailyReport, &QAction::triggered, this, &VelmoranMain::slotReportDaily);

    m_viewMenu = createMenu(QStringLiteral("View"));
    m_viewMenu->setObjectName(QStringLiteral("viewMenu"));
    m_actFullScreen = addMenuAction(m_viewMenu, QStringLiteral("actFullScreen"),
                                    QStringLiteral("FullScreen"), true);
    m_viewMenu->addSeparator();
    m_actExpansionMode = addMenuAction(m_viewMenu, QStringLiteral("actExpansionMode"),
                                       QStringLiteral("Expansion Mode"), true);
    connect(m_actFullScreen, &QAction::triggered, this, &VelmoranMain::slotViewFull);
    connect(m_actExpansionMode, &QAction::triggered, this, &VelmoranMain::slotShowHideItem);
}

void VelmoranMain::setupAlarmSound()
{
    m_pAlarmSound = new AlarmSound(this);
    connect(m_pAlarmSound, &AlarmSound::stateChanged, this, &VelmoranMain::handleStateChanged);
    connect(m_pAlarmSound, &AlarmSound::soundDeviceChanged, this,
            &VelmoranMain::showSoundDeviceNotice);
    showSoundDeviceNotice(!m_pAlarmSound->hasNoSoundDevice());
    // Shown without waiting: an unattended restart (auto load, auto record) must not sit
    // in front of a box nobody will click.
    const QList<AlarmSound::Problem> problems = m_pAlarmSound->problems();
    for (const AlarmSound::Problem &problem : problems) {
        auto *box = new QMessageBox(QMessageBox::Critical, problem.title, problem.text,
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        box->show();
    }
}

void VelmoranMain::showSoundDeviceNotice(bool available)
{
    ui->label_sound->setText(available ? QString()
                                       : QStringLiteral("Alarm sound off: no sound device"));
    ui->label_sound->setVisible(!available);
}

void VelmoranMain::setProjectActionsEnabled(bool on)
{
    m_bIsProjectOpen = on;
    m_actAddDelete->setEnabled(on);
    m_actClose->setEnabled(on);
    m_actRefreshDevices->setEnabled(on);
    m_actPlotvane->setEnabled(on);
    m_reportMenu->setEnabled(on);
    m_reportMenu->menuAction()->setEnabled(on);
    m_actExpansionMode->setEnabled(on);
}

// The recorder has set the devices' recording flags; the window only follows with its menu.
void VelmoranMain::toggleRecordState(bool recording)
{
    m_actExit->setEnabled(!recording);
    m_actAddDelete->setEnabled(!recording);
    m_actClose->setEnabled(!recording);
}

void VelmoranMain::popupMenu(QMenu *menu, const QWidget *button)
{
    const QRect frame = geometry();
    menu->popup(QPoint(frame.x() + button->x() + 5, frame.y() + button->geometry().bottom() + 1));
}

void VelmoranMain::topDblClick()
{
    if (isFullScreen()) {
        showNormal();
        m_actFullScreen->setChecked(false);
    } else {
        showFullScreen();
        m_actFullScreen->setChecked(true);
    }
}

void VelmoranMain::slotCommandProject()
{
    popupMenu(m_projectMenu, ui->command_project);
}

void VelmoranMain::slotCommandRecord()
{
    popupMenu(m_recordMenu, ui->command_record);
}

void VelmoranMain::slotCommandScreen()
{
    popupMenu(m_viewMenu, ui->command_screen);
}

void VelmoranMain::slotCommandHelp()
{
    const QString title = QStringLiteral("About ") + QString::fromLatin1(APP_TITLE).remove(' ');
    const QString text =
        QStringLiteral("<p><b>Velmoran Lite</b></p><p><font size=3>") +
        QString::fromLatin1(VERSION_TEXT) +
        QStringLiteral("</font></p>"
                       "<p><font size=3>The lastest Version : "
                       "<a href=\"https://kestrelix.example/download\">Download</a></font></p>"
                       "<p><font size=3>Velmoran Lite is data recording software for the "
                       "KESTRELIX&reg; loggers of the QJ series and the QK series. It supports "
                       "up to 32 channels of data recording, a data viewer and a data "
                       "reporter.</font></p>"
                       "<p><font size=3></font></p>"
                       "<p><font size=2>Copyright &copy; Kestrelix. All rights "
                       "reserved.</font></p>"
                       "<p style='margin-right:100;'><img width=720 height=326 "
                       "src=:/img/velmoran_lite.png></p>");
    QMessageBox::about(this, title, text);
}

void VelmoranMain::slotViewFull(bool on)
{
    if (on)
        showFullScreen();
    else
        showNormal();
}

void VelmoranMain::slotShowHideItem(bool checked)
{
    if (m_pProjectCenter)
        m_pProjectCenter->setEmptySlotsVisible(!checked);
}

void VelmoranMain::slotAutoProject(bool on)
{
    m_bAutoLoad = on;
    saveOptionSettings();
}

void VelmoranMain::slotAutoRecord(bool on)
{
    m_bAutoRecord = on;
    saveOptionSettings();
}

void VelmoranMain::readSettings()
{
    QSettings *settings = openSettings(this);
    settings->beginGroup(QString::fromLatin1(SETTINGS_GROUP));
    m_recentList = settings->value(QStringLiteral("list")).toStringList();
    m_recentProjects = settings->value(QStringLiteral("projects")).toHash();
    m_bAutoLoad = settings->value(QStringLiteral("autoLoad"), false).toBool();
    m_bAutoRecord = settings->value(QStringLiteral("autoRecord"), false).toBool();
    m_bKeepAlive = settings->value(QStringLiteral("keepAlive"), false).toBool();
    settings->endGroup();
    delete settings;

    m_actAutoLoad->setChecked(m_bAutoLoad);
    m_actAutoRecord->setChecked(m_bAutoRecord);
    m_actKeepAlive->setChecked(m_bKeepAlive);
}

void VelmoranMain::restoreWindowGeometry()
{
    QSettings *settings = openSettings(this);
    const QByteArray geometry = settings->value(QLatin1String(WINDOW_GEOMETRY_KEY)).toByteArray();
    delete settings;
    // restoreGeometry() moves a place on a screen that is gone back onto a present one.
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

void VelmoranMain::saveWindowGeometry()
{
    QSettings *settings = openSettings(this);
    settings->setValue(QLatin1String(WINDOW_GEOMETRY_KEY), saveGeometry());
    delete settings;
}

void VelmoranMain::saveSettings()
{
    QSettings *settings = openSettings(this);
    settings->beginGroup(QString::fromLatin1(SETTINGS_GROUP));
    settings->setValue(QStringLiteral("list"), m_recentList);
    settings->setValue(QStringLiteral("projects"), m_recentProjects);
    settings->setValue(QStringLiteral("autoLoad"), m_bAutoLoad);
    settings->setValue(QStringLiteral("autoRecord"), m_bAutoRecord);
    settings->setValue(QStringLiteral("keepAlive"), m_bKeepAlive);
    settings->endGroup();
    delete settings;
}

void VelmoranMain::saveOptionSettings()
{
    QSettings *settings = openSettings(this);
    settings->beginGroup(QString::fromLatin1(SETTINGS_GROUP));
    settings->setValue(QStringLiteral("autoLoad"), m_bAutoLoad);
    settings->setValue(QStringLiteral("autoRecord"), m_bAutoRecord);
    settings->setValue(QStringLiteral("keepAlive"), m_bKeepAlive);
    settings->endGroup();
    delete settings;
}

void VelmoranMain::pruneRecentProjects()
{
    const QStringList keys = m_recentProjects.keys();
    for (const QString &key : keys) {
        if (!QFileInfo::exists(m_recentProjects.value(key).toString())) {
            m_recentProjects.remove(key);
            m_recentList.removeOne(key);
        }
    }
}

void VelmoranMain::addRecentProject()
{
    if (m_recentProjects.contains(m_strProjectName) || m_recentList.contains(m_strProjectName))
        return;
    m_recentProjects.insert(m_strProjectName, m_strProjectFile);
    m_recentList.prepend(m_strProjectName);
    pruneRecentProjects();
    saveSettings();
}

void VelmoranMain::closeEvent(QCloseEvent *event)
{
    if (m_pRecorder->isRecording()) {
        // Say why nothing happens, or the window looks frozen.
        showTimedMessage(QStringLiteral("WARNING"),
                         QStringLiteral("Recording is running.\nStop the recording before "
                                        "closing the program."));
        event->ignore();
        return;
    }
    saveWindowGeometry();
    closeProjectState();
    m_stdTimer->stop();
    m_checkConnectionTimer->stop();
    m_pRecorder->stopTimers();
    m_pAvailDevices->closeKestrelixDevices();
    event->accept();
}

void VelmoranMain::handleStateChanged(QAudio::State state)
{
    qCDebug(lcApp) << "VelmoranMain::handleStateChanged : QAudio new State : " << int(state);
}

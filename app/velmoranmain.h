#pragma once

// Complete type: the slot taking QList<ConfiguredDevice *> needs it for its meta type.
#include "device/configureddevice.h"
#include "device/pollinterval.h"
#include "store/pendingrowqueue.h"

#include <QAudio>
#include <QHash>
#include <QList>
#include <QStringList>
#include <QVariant>
#include <QWidget>

struct AvailableDevice;
class AlarmEventLog;
class AlarmSound;
class AvailableDeviceList;
class InsertSerialData;
class NetworkDiscovery;
class ProjectCenter;
class ProjectMain;
class ProjectManager;
class Recorder;
class QAction;
class QLabel;
class QMenu;
class QPixmap;
class QTimer;
class QVBoxLayout;
class UsbEnumerator;

namespace Ui {
class VelmoranMain;
}

// The one window of the program. It owns what lives for the whole run (discovered loggers,
// the devices and store of the open project, the timers of the acquisition cycle, the alarm
// sound) and shows one panel at a time: open/create, device selection or the project centre.
class VelmoranMain : public QWidget
{
    Q_OBJECT

public:
    explicit VelmoranMain(QWidget *parent = nullptr);
    ~VelmoranMain() override;

    void showTimedMessage(const QString &title, const QString &text);

    // Replaces the USB enumerator (owned); tests play plugging and unplugging with it.
    void setUsbEnumerator(UsbEnumerator *enumerator);

    AlarmSound *alarmSound() const { return m_pAlarmSound; }
    AlarmEventLog *eventLog() const;
    QLabel *alarmCountLabel() const { return m_pAlarmCountLabel; }
    ProjectMain *projectMain() const { return m_pProjectMain; }
    ProjectManager *projectManager() const { return m_pProjectManager; }
    ProjectCenter *projectCenter() const { return m_pProjectCenter; }
    // The recording core of the open project: its devices, store, timers and recording state.
    Recorder *recorder() const { return m_pRecorder; }
    QList<ConfiguredDevice *> configuredDevices() const;
    QList<AvailableDevice *> availableDevices() const;
    InsertSerialData *store() const;
    QString projectFile() const { return m_strProjectFile; }
    QString projectName() const { return m_strProjectName; }
    QStringList recentList() const { return m_recentList; }
    QHash<QString, QVariant> recentProjects() const { return m_recentProjects; }
    QStringList dashboardNames() const { return m_dashboardNames; }
    // The open project's poll interval in milliseconds.
    int pollInterval() const { return m_nPollInterval; }
    bool isProjectOpen() const { return m_bIsProjectOpen; }
    bool isRecording() const;
    // The program must end: the store of the project could not be opened. main() asks, because
    // a failure during construction (automatic load) comes before the event loop runs.
    bool exitRequested() const { return m_bExitRequested; }
    // Rows sampled and not yet written: the recorder's queue, which its store writes from.
    PendingRowQueue &pendingRows();

public slots:
    void topDblClick();
    void slotCommandProject();
    void slotCommandRecord();
    void slotCommandScreen();
    void slotCommandHelp();
    void slotViewFull(bool on);
    void slotShowHideItem(bool checked);
    void slotCloseProject();
    void slotAddDeviceProject();
    void slotRefreshDevice();
    void slotAutoProject(bool on);
    void slotAutoRecord(bool on);
    void slotKeepAlive(bool on);
    void slotPlotvaneRecord();
    void slotReportDaily();
    void slotUpdateProjectFile();
    void slotRefreshAvailDeviceList();
    void slotToggleRecord();
    void slotStartRecord();
    void slotStopRecord();
    void projectCreated(const QString &path);
    void projectLoaded(const QString &path);
    void projectListConfirm(QList<ConfiguredDevice *> devices, QStringList dashboardNames);
    void checkConnection();
    void slotStdTimer();
    void writeDevice();
    void writeDb();
    // One bounded step of the writing that the flush tick leaves over: a backlog longer than
    // one flush, the rows of a stopped recording, rows set aside by a closed project.
    void drainStep();
    void slotSndUdpSocketDeleted();
    void slotRcvUdpSocketDeleted();
    void readPendingDatagrams();
    void handleStateChanged(QAudio::State state);
    void showSoundDeviceNotice(bool available);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createMenus();
    QMenu *createMenu(const QString &title);
    QAction *addMenuAction(QMenu *menu, const QString &objectName, const QString &text,
                           bool checkable = false);
    void popupMenu(QMenu *menu, const QWidget *button);
    void setupAlarmSound();
    void setProjectActionsEnabled(bool on);
    void toggleRecordState(bool recording);

    void readSettings();
    void saveSettings();
    void saveOptionSettings();
    void restoreWindowGeometry();
    void saveWindowGeometry();
    void pruneRecentProjects();
    void addRecentProject();

    void startProjectCenter();
    void closeProjectState();
    void connectRecorder();
    bool createInsertSerialData();
    void deleteInsertSerialData();
    void openKestrelixDevices();
    void broadcastDevice();
    void detachDeviceViews();
    void deleteConfiguredDevices();
    void removeProjectMain();
    void removeProjectManager();
    void removeProjectCenter();
    void showProjectManager();
    void updateIntervalLabel();
    void setPollInterval(int ms);
    void reportProjectFileError();
    void launchSibling(const QString &program, const QString &failureText);

    QMenu *m_projectMenu = nullptr;
    QAction *m_actAddDelete = nullptr;
    QAction *m_actClose = nullptr;
    QAction *m_actAutoLoad = nullptr;
    QAction *m_actAutoRecord = nullptr;
    QAction *m_actKeepAlive = nullptr;
    QAction *m_actRefreshDevices = nullptr;
    QAction *m_actExit = nullptr;
    QMenu *m_recordMenu = nullptr;
    QAction *m_actPlotvane = nullptr;
    QMenu *m_reportMenu = nullptr;
    QAction *m_actDailyReport = nullptr;
    QAction *m_actWeeklyReport = nullptr;
    QAction *m_actMonthlyReport = nullptr;
    QAction *m_actHaccpReport = nullptr;
    QAction *m_actHistory = nullptr;
    QMenu *m_viewMenu = nullptr;
    QAction *m_actFullScreen = nullptr;
    QAction *m_actExpansionMode = nullptr;
    QPixmap *m_pixReady = nullptr;
    QPixmap *m_pixRecording = nullptr;
    Ui::VelmoranMain *ui = nullptr;
    QVBoxLayout *m_centralLayout = nullptr;
    ProjectMain *m_pProjectMain = nullptr;
    ProjectManager *m_pProjectManager = nullptr;
    ProjectCenter *m_pProjectCenter = nullptr;
    QTimer *m_stdTimer = nullptr;
    QTimer *m_checkConnectionTimer = nullptr;
    Recorder *m_pRecorder = nullptr;
    bool m_bIsProjectOpen = false;
    QString m_strProjectName;
    QString m_strProjectFile;
    AvailableDeviceList *m_pAvailDevices = nullptr;
    NetworkDiscovery *m_pDiscovery = nullptr;
    UsbEnumerator *m_pUsbEnumerator = nullptr;
    QHash<QString, QVariant> m_recentProjects;
    QStringList m_recentList;
    bool m_bAutoLoad = false;
    bool m_bAutoRecord = false;
    bool m_bKeepAlive = false;
    int m_nPollInterval = DEFAULT_POLL_INTERVAL_MS;
    QStringList m_dashboardNames;
    AlarmSound *m_pAlarmSound = nullptr;
    QLabel *m_pAlarmCountLabel = nullptr;
    bool m_bExitRequested = false;
};

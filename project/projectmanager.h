#pragma once

#include "device/configureddevice.h"
#include "device/pollinterval.h"
#include "discovery/availabledevice.h"

#include <QIcon>
#include <QList>
#include <QStringList>
#include <QWidget>

class QAction;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QLineEdit;

namespace Ui {
class ProjectManager;
}

// The panel in which the loggers of a project are chosen and placed on the four dashboards.
// Discovered loggers move from the left list to a dashboard list; confirming turns every
// placed entry into a configured device.
class ProjectManager : public QWidget
{
    Q_OBJECT

public:
    static constexpr int MAX_DASHBOARD_DEVICES = 16;
    static constexpr int MAX_DEVICES = 64;
    static constexpr int DASHBOARD_COUNT = 4;

    explicit ProjectManager(QWidget *parent = nullptr);
    ~ProjectManager() override;

    void setConfiguredDeviceList(const QList<ConfiguredDevice *> &devices);
    void setAvailDeviceList(const QList<AvailableDevice *> &devices);
    void setDashboardNames(const QStringList &names);
    void setIntervalDisabled(bool disabled);
    // The user's choice of interval: shown, kept and announced by pollIntervalChanged.
    void setInterval(int ms);
    // The project's interval as it stands, shown and checked in the menu; not announced.
    void setPollInterval(int ms);
    int pollInterval() const { return m_nPollInterval; }
    // The project whose database address the "Database..." button edits.
    void setProjectFile(const QString &path);

    void showTimedMessage(const QString &title, const QString &text);
    QMenu *intervalMenu() const;

signals:
    void projectListConfirm(QList<ConfiguredDevice *> devices, QStringList dashboardNames);
    void refreshAvailDeviceList();
    void pollIntervalChanged(int ms);

public slots:
    void slotProjectAddDevice();
    void slotProjectRemoveDevice();
    void slotManualConfigDeviceDlg();
    void slotManualConfigDevice(ConfiguredDevice *device);
    void slotDblProjectAddDevice(QListWidgetItem *item);
    void slotProjectListConfirm();
    void slotCommandInterval();
    void slotIntervalChange();
    void slotRefresh();
    void slotDatabaseSettings();

private:
    void buildIntervalMenu();
    QListWidget *dashboardList(int index) const;
    QListWidget *currentDashboardList() const;
    int placedCount() const;
    void updateAddButtons();
    bool isPlaced(const QString &id) const;
    AvailableDevice *findAvailable(const QString &id) const;
    ConfiguredDevice *findConfigured(const QString &id) const;
    QLineEdit *dashboardNameEdit(int index) const;
    QListWidgetItem *newEntry(const QString &label, const QString &address, quint16 port, int kind,
                              const QString &id) const;
    QListWidgetItem *newAvailableEntry(const AvailableDevice &device) const;
    QListWidgetItem *newConfiguredEntry(const ConfiguredDevice &device) const;

    Ui::ProjectManager *ui;
    QIcon m_lanIcon;
    QIcon m_usbIcon;
    QMenu *m_pIntervalMenu = nullptr;
    QString m_strProjectFile;
    int m_nPollInterval = DEFAULT_POLL_INTERVAL_MS;
    QList<QAction *> m_intervalActions;
    QList<AvailableDevice *> m_availDeviceList;
    QList<ConfiguredDevice *> m_configuredDeviceList;
    // Devices entered by hand that this panel still owns: they pass to the receiver of
    // projectListConfirm and are deleted when removed from the dashboards.
    QList<ConfiguredDevice *> m_manualDevices;
};

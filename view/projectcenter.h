#pragma once

#include "device/configureddevice.h"
#include "view/eventsview.h"
#include "view/historyview.h"

#include <QIcon>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

class ChartView;
class DashboardTab;
class ProjectList;
class QVBoxLayout;

namespace Ui {
class ProjectCenter;
}

// The panel of an open project: the device list on the left, the dashboards or one device's
// detail view on the right, and the record bar below.
class ProjectCenter : public QWidget
{
    Q_OBJECT

public:
    explicit ProjectCenter(const QString &projectFile, QWidget *parent = nullptr);
    ~ProjectCenter() override;

    void setDeviceList(const QList<ConfiguredDevice *> &list);
    void setDashboardNames(const QStringList &names);
    void setEmptySlotsVisible(bool visible);

    void setRecordState(bool recording);
    void setDatabaseSize(qint64 bytes);
    void setRecordTimes(const QString &start, const QString &end);
    void setRecordStartText(const QString &text);
    void setRecordEndText(const QString &text);
    QString recordStartText() const;
    QString recordEndText() const;

    DashboardTab *dashboardTab() const { return m_pDashboardTab; }
    ChartView *chartView() const { return m_pChartView; }
    ProjectList *projectList() const { return m_pProjectList; }
    HistoryView *historyView() const { return m_pHistoryView; }
    EventsView *eventsView() const { return m_pEventsView; }
    ConfiguredDevice *currentDevice() const;
    bool isDashboardMode() const { return m_bDashboardMode; }
    QString projectName() const { return m_strProjectName; }

signals:
    void clickRecord();
    void updateProjectFile();
    // From the events window.
    void eventsAcknowledged();
    void communicationLossAlarmChanged(bool on);

public slots:
    void slotRecord();
    void slotDashboardClicked();
    void slotDeviceClicked(ConfiguredDevice *device);
    void slotPopupSensingOption();
    void slotSensingConfirm();
    void slotNetworkSetting();
    // The history window of this project (one at a time).
    void slotShowHistory();
    // The event log of this project (one window at a time).
    void slotShowEvents();

private:
    void setRecordLabelStyle(const QString &style);
    void addHistoryButton();
    void addEventsButton();

    Ui::ProjectCenter *ui;
    QIcon m_recordStopIcon;
    QIcon m_recordIcon;
    QVBoxLayout *m_pListLayout = nullptr;
    QVBoxLayout *m_pBoardLayout = nullptr;
    ProjectList *m_pProjectList = nullptr;
    DashboardTab *m_pDashboardTab = nullptr;
    ChartView *m_pChartView = nullptr;
    QString m_strProjectName;
    QString m_strProjectFile;
    // The devices belong to the main window; guarded so that a device deleted before this
    // panel is simply skipped when the panel detaches its views.
    QPointer<ConfiguredDevice> m_pCurrentDevice;
    bool m_bDashboardMode = true;
    QPointer<HistoryView> m_pHistoryView;
    QPointer<EventsView> m_pEventsView;
    QList<QPointer<ConfiguredDevice>> m_deviceList;
};

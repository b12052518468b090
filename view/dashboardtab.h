#pragma once

#include "device/configureddevice.h"

#include <QList>
#include <QStringList>
#include <QWidget>

class DashBoard;

namespace Ui {
class DashboardTab;
}

// The four dashboard pages of a project, as tabs. Each device sits on the page its dashboard
// number names, at most sixteen devices per page.
class DashboardTab : public QWidget
{
    Q_OBJECT

public:
    static constexpr int DASHBOARD_COUNT = 4;

    explicit DashboardTab(QWidget *parent = nullptr);
    ~DashboardTab() override;

    void setDeviceList(const QList<ConfiguredDevice *> &list);
    void setDashboardNames(const QStringList &names);
    void setEmptySlotsVisible(bool visible);
    void refreshItems();

    DashBoard *dashboard(int index) const;
    QString dashboardName(int index) const;

signals:
    void deviceClicked(ConfiguredDevice *device);

public slots:
    void slotDashboardClicked(ConfiguredDevice *device);

private:
    Ui::DashboardTab *ui;
    DashBoard *m_pDashBoard[DASHBOARD_COUNT] = {};
};

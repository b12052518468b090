#include "view/dashboardtab.h"

#include "device/configureddevice.h"
#include "view/dashboard.h"

#include "ui_dashboardtab.h"

DashboardTab::DashboardTab(QWidget *parent) : QWidget(parent), ui(new Ui::DashboardTab)
{
    ui->setupUi(this);
    for (int i = 0; i < DASHBOARD_COUNT; ++i) {
        m_pDashBoard[i] = new DashBoard;
        connect(m_pDashBoard[i], &DashBoard::dashboardClicked, this,
                &DashboardTab::slotDashboardClicked);
        ui->tabWidget->addTab(m_pDashBoard[i], QStringLiteral("Dashboard %1").arg(i + 1));
    }
    ui->tabWidget->setCurrentIndex(0);
}

DashboardTab::~DashboardTab()
{
    delete ui;
}

void DashboardTab::setDeviceList(const QList<ConfiguredDevice *> &list)
{
    QList<ConfiguredDevice *> pages[DASHBOARD_COUNT];
    for (ConfiguredDevice *device : list) {
        if (!device)
            continue;
        const int d = device->dashboardNumber();
        if (d >= 0 && d < DASHBOARD_COUNT && pages[d].size() < DashBoard::MAX_DEVICES)
            pages[d].append(device);
    }
    for (int i = 0; i < DASHBOARD_COUNT; ++i)
        m_pDashBoard[i]->setDeviceList(pages[i]);
}

void DashboardTab::setDashboardNames(const QStringList &names)
{
    const int count = std::min<int>(names.size(), DASHBOARD_COUNT);
    for (int i = 0; i < count; ++i)
        ui->tabWidget->setTabText(i, names.at(i));
}

void DashboardTab::setEmptySlotsVisible(bool visible)
{
    for (DashBoard *dashboard : m_pDashBoard)
        dashboard->setEmptySlotsVisible(visible);
}

void DashboardTab::refreshItems()
{
    for (DashBoard *dashboard : m_pDashBoard)
        dashboard->refreshItems();
}

DashBoard *DashboardTab::dashboard(int index) const
{
    return index >= 0 && index < DASHBOARD_COUNT ? m_pDashBoard[index] : nullptr;
}

QString DashboardTab::dashboardName(int index) const
{
    return ui->tabWidget->tabText(index);
}

void DashboardTab::slotDashboardClicked(ConfiguredDevice *device)
{
    emit deviceClicked(device);
}

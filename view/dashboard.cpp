#include "view/dashboard.h"

#include "device/configureddevice.h"
#include "view/dashboarddeviceitem.h"
#include "view/tilerefresher.h"

#include "ui_dashboard.h"

#include <QLayout>

DashBoard::DashBoard(QWidget *parent)
    : QWidget(parent), ui(new Ui::DashBoard), m_pRefresher(new TileRefresher(this))
{
    ui->setupUi(this);
}

DashBoard::~DashBoard()
{
    removeItems();
    delete ui;
}

QWidget *DashBoard::slotWidget(int row, int column) const
{
    QLayoutItem *item = ui->gridLayout_2->itemAtPosition(row, column);
    return item ? item->widget() : nullptr;
}

void DashBoard::removeItems()
{
    // A device must never push into a tile that is gone, so hand back the pointers first,
    // unless another page has taken the device over since.
    for (const QPointer<ConfiguredDevice> &device : std::as_const(m_deviceList)) {
        if (!device)
            continue;
        for (DashBoardDeviceItem *item : std::as_const(m_itemList)) {
            const DeviceTileView *tile = item;
            if (device->ch1Item() == tile || device->ch2Item() == tile) {
                device->clearDashboardItems();
                break;
            }
        }
    }
    m_deviceList.clear();
    qDeleteAll(m_itemList);
    m_itemList.clear();
}

void DashBoard::setDeviceList(const QList<ConfiguredDevice *> &list)
{
    removeItems();
    const int count = std::min<int>(list.size(), MAX_DEVICES);
    for (int k = 0; k < count; ++k) {
        ConfiguredDevice *device = list.at(k);
        auto *ch1Item = new DashBoardDeviceItem(device, true);
        auto *ch2Item = new DashBoardDeviceItem(device, false);
        connect(ch1Item, &DashBoardDeviceItem::clicked, this, &DashBoard::slotClicked);
        connect(ch2Item, &DashBoardDeviceItem::clicked, this, &DashBoard::slotClicked);
        ch1Item->setRefresher(m_pRefresher);
        ch2Item->setRefresher(m_pRefresher);
        if (device) {
            device->setDashboardItems(ch1Item, ch2Item);
            m_deviceList.append(device);
        }
        m_itemList.append(ch1Item);
        m_itemList.append(ch2Item);

        const int row = k % ROWS;
        const int pair = k / ROWS;
        slotWidget(row, 2 * pair)->layout()->addWidget(ch1Item);
        slotWidget(row, 2 * pair + 1)->layout()->addWidget(ch2Item);
    }
}

void DashBoard::setEmptySlotsVisible(bool visible)
{
    for (int i = 0; i < ui->gridLayout_2->count(); ++i) {
        QWidget *slot = ui->gridLayout_2->itemAt(i)->widget();
        if (!slot)
            continue;
        const bool occupied = slot->findChild<QWidget *>(QStringLiteral("DashBoardDeviceItem"),
                                                         Qt::FindDirectChildrenOnly) != nullptr;
        if (!occupied)
            slot->setVisible(visible);
    }
}

void DashBoard::refreshItems()
{
    for (DashBoardDeviceItem *item : std::as_const(m_itemList))
        item->refresh();
}

void DashBoard::slotClicked(ConfiguredDevice *device)
{
    emit dashboardClicked(device);
}

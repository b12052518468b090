#pragma once

#include "device/configureddevice.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class DashBoardDeviceItem;
class TileRefresher;

namespace Ui {
class DashBoard;
}

// One dashboard page: a 4 x 8 grid of slots. Each device takes two neighbouring slots, one
// tile per channel; devices fill a column pair top to bottom before the next pair.
class DashBoard : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ROWS = 4;
    static constexpr int COLUMNS = 8;
    static constexpr int MAX_DEVICES = ROWS * COLUMNS / 2;

    explicit DashBoard(QWidget *parent = nullptr);
    ~DashBoard() override;

    void setDeviceList(const QList<ConfiguredDevice *> &list);
    void setEmptySlotsVisible(bool visible);
    void refreshItems();

    QList<DashBoardDeviceItem *> items() const { return m_itemList; }
    // Shows the values of this page's tiles in batches.
    TileRefresher *refresher() const { return m_pRefresher; }
    QWidget *slotWidget(int row, int column) const;

signals:
    void dashboardClicked(ConfiguredDevice *device);

public slots:
    void slotClicked(ConfiguredDevice *device);

private:
    void removeItems();

    Ui::DashBoard *ui;
    TileRefresher *m_pRefresher;
    QList<DashBoardDeviceItem *> m_itemList;
    // The devices whose tile pointers this page set; guarded because a device may be deleted
    // before the page.
    QList<QPointer<ConfiguredDevice>> m_deviceList;
};

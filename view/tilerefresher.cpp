#include "view/tilerefresher.h"

#include "view/dashboarddeviceitem.h"

TileRefresher::TileRefresher(QObject *parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(DELAY_MS);
    connect(&m_timer, &QTimer::timeout, this, &TileRefresher::flush);
}

void TileRefresher::schedule(DashBoardDeviceItem *tile)
{
    if (!m_pending.contains(tile))
        m_pending.append(tile);
    // Not restarted by later tiles: the first value of a burst waits at most one delay.
    if (!m_timer.isActive())
        m_timer.start();
}

void TileRefresher::forget(DashBoardDeviceItem *tile)
{
    m_pending.removeAll(tile);
}

bool TileRefresher::isPending(const DashBoardDeviceItem *tile) const
{
    return m_pending.contains(const_cast<DashBoardDeviceItem *>(tile));
}

void TileRefresher::flush()
{
    m_timer.stop();
    if (m_pending.isEmpty())
        return;
    const QList<DashBoardDeviceItem *> tiles = std::exchange(m_pending, {});
    for (DashBoardDeviceItem *tile : tiles)
        tile->applyPending();
    emit flushed(int(tiles.size()));
}

#pragma once

#include <QList>
#include <QObject>
#include <QTimer>

class DashBoardDeviceItem;

// Collects the tiles of one dashboard that have a new value and shows them together a moment
// later. Replies of many loggers arrive one by one within a few milliseconds of each poll;
// shown as they come, each would repaint the window on its own.
class TileRefresher : public QObject
{
    Q_OBJECT

public:
    static constexpr int DELAY_MS = 50;

    explicit TileRefresher(QObject *parent = nullptr);

    // The tile shows its pending state at the next flush. A tile must be forgotten before
    // it goes.
    void schedule(DashBoardDeviceItem *tile);
    void forget(DashBoardDeviceItem *tile);
    bool isPending(const DashBoardDeviceItem *tile) const;

public slots:
    void flush();

signals:
    // After each flush that showed at least one tile.
    void flushed(int tiles);

private:
    QTimer m_timer;
    QList<DashBoardDeviceItem *> m_pending;
};

#pragma once

#include "sim/replychunk.h"

#include <QObject>
#include <QTimer>

#include <functional>

// Writes the chunks of one link's answers strictly in order, waiting each chunk's delay on a
// timer, so a slow or split answer also holds back the answers queued behind it.
class ReplyQueue : public QObject
{
    Q_OBJECT

public:
    using WriteFunc = std::function<void(const QByteArray &)>;
    using CloseFunc = std::function<void()>;

    ReplyQueue(WriteFunc write, CloseFunc close, QObject *parent = nullptr);

    void enqueue(const ReplyPlan &plan);
    void clear();

private:
    void slotDelayElapsed();
    void drain();

    WriteFunc m_write;
    CloseFunc m_close;
    ReplyPlan m_pending;
    QTimer m_timer;
    bool m_bDelayServed = false;
};

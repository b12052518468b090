#pragma once

#include "store/historyrowreader.h"

#include <QObject>

#include <functional>

// Runs a HistoryRowReader over its whole range in short steps on the event loop, handing each
// chunk of rows to a consumer, with progress and cancel; or all at once where nothing waits
// for the event loop (the command line).
class HistoryScan : public QObject
{
    Q_OBJECT

public:
    using Consumer = std::function<bool(const QVector<HistoryRow> &rows)>;

    HistoryScan(HistoryDatabase *database, const QStringList &serials, qint64 from, qint64 to,
                Consumer consumer, QObject *parent = nullptr);

    void start();
    void cancel();
    // false on a failed read or a consumer that refused a chunk.
    bool runToEnd();
    QString error() const { return m_strError; }
    bool isRunning() const { return m_bRunning; }

signals:
    void progress(int percent);
    // ok false: failed or cancelled (see error()).
    void finished(bool ok);

private:
    void step();
    bool readChunk();

    HistoryRowReader m_reader;
    Consumer m_consumer;
    QString m_strError;
    bool m_bRunning = false;
};

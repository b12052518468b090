#include "store/historyscan.h"

#include <QTimer>

namespace {
// About 20 ms of reading per step on this kind of machine.
constexpr int ROWS_PER_STEP = 20000;
} // namespace

HistoryScan::HistoryScan(HistoryDatabase *database, const QStringList &serials, qint64 from,
                         qint64 to, Consumer consumer, QObject *parent)
    : QObject(parent), m_reader(database, serials, from, to), m_consumer(std::move(consumer))
{
}

bool HistoryScan::readChunk()
{
    QVector<HistoryRow> rows;
    rows.reserve(ROWS_PER_STEP);
    if (!m_reader.next(ROWS_PER_STEP, &rows)) {
        m_strError = m_reader.error();
        return false;
    }
    if (!rows.isEmpty() && !m_consumer(rows)) {
        if (m_strError.isEmpty())
            m_strError = QStringLiteral("writing failed");
        return false;
    }
    return true;
}

bool HistoryScan::runToEnd()
{
    while (!m_reader.atEnd()) {
        if (!readChunk())
            return false;
    }
    return true;
}

void HistoryScan::start()
{
    m_bRunning = true;
    QTimer::singleShot(0, this, &HistoryScan::step);
}

void HistoryScan::cancel()
{
    if (!m_bRunning)
        return;
    m_bRunning = false;
    m_strError = QStringLiteral("cancelled");
    emit finished(false);
}

void HistoryScan::step()
{
    if (!m_bRunning)
        return;
    if (!readChunk()) {
        m_bRunning = false;
        emit finished(false);
        return;
    }
    emit progress(int(m_reader.progress() * 100));
    if (m_reader.atEnd()) {
        m_bRunning = false;
        emit finished(true);
        return;
    }
    QTimer::singleShot(0, this, &HistoryScan::step);
}

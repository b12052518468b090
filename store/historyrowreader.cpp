#include "store/historyrowreader.h"

#include "store/historydatabase.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {
constexpr qint64 MAX_WINDOW = 400LL * 24 * 3600;
}

HistoryRowReader::HistoryRowReader(HistoryDatabase *database, const QStringList &serials,
                                   qint64 from, qint64 to)
    : m_pDatabase(database), m_serials(serials), m_nFrom(from), m_nTo(to), m_nNext(from)
{
}

double HistoryRowReader::progress() const
{
    if (m_nTo <= m_nFrom)
        return atEnd() ? 1.0 : 0.0;
    return qBound(0.0, double(m_nNext - m_nFrom) / double(m_nTo - m_nFrom), 1.0);
}

bool HistoryRowReader::next(int rows, QVector<HistoryRow> *out)
{
    QSqlQuery query(m_pDatabase->database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("select pointDate, serialno, channel1, channel2 from kestrelix "
                                 "where ") +
                  serialFilter(int(m_serials.size())) +
                  QStringLiteral(" and pointDate >= ? and pointDate < ? order by pointDate, id"));
    int read = 0;
    // Widen the window over sparse stretches until enough rows come back, narrow it over
    // dense ones, so each step costs about the same.
    while (!atEnd() && read < rows) {
        const qint64 end = qMin(m_nTo + 1, m_nNext + m_nWindow);
        int i = 0;
        for (const QString &serial : m_serials)
            query.bindValue(i++, serial);
        query.bindValue(i++, m_nNext);
        query.bindValue(i, end);
        if (!query.exec()) {
            m_strError = query.lastError().text();
            return false;
        }
        int got = 0;
        while (query.next()) {
            HistoryRow row;
            row.time = query.value(0).toLongLong();
            row.serial = query.value(1).toString();
            for (int ch = 0; ch < 2; ++ch) {
                const QVariant v = query.value(2 + ch);
                if (!v.isNull())
                    row.value[ch] = v.toDouble();
            }
            out->append(row);
            ++got;
        }
        query.finish();
        read += got;
        m_nNext = end;
        if (got < rows / 4)
            m_nWindow = qMin(MAX_WINDOW, m_nWindow * 4);
        else if (got > rows * 2)
            m_nWindow = qMax<qint64>(1, m_nWindow / 4);
    }
    return true;
}

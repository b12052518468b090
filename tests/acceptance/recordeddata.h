#pragma once

#include "tests/support/simprocess.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <optional>

// What a project database holds, read the way the sibling tools read it: through its own
// connection, opened for each look and closed again, so the program's writes are never held up.
struct StoredRow
{
    qint64 id = 0;
    QString serialNo;
    std::optional<double> channel1, channel2;
    quint32 pointDate = 0;

    bool isBreak() const { return !channel1 && !channel2; }
};

inline QList<StoredRow> storedRows(const QString &databasePath, const QString &serialNo = {})
{
    QList<StoredRow> rows;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databasePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=200"));
        QSqlQuery query(db.open() ? db : QSqlDatabase());
        query.exec("select id, serialno, channel1, channel2, pointDate from kestrelix order by id");
        const auto value = [&query](int i) {
            return query.value(i).isNull() ? std::nullopt
                                           : std::optional(query.value(i).toDouble());
        };
        while (query.next()) {
            if (serialNo.isEmpty() || query.value(1).toString() == serialNo)
                rows.append({query.value(0).toLongLong(), query.value(1).toString(), value(2),
                             value(3), query.value(4).toUInt()});
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

inline int answerCount(SimProcess &sim, const QString &id)
{
    return sim.command(QStringLiteral("count ") + id).mid(3).toInt();
}

inline QString timeText(quint32 secs)
{
    return QDateTime::fromSecsSinceEpoch(secs).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QUuid>
#include <QVariant>

#include <optional>

// What a project database holds, read the way the sibling tools read it: through its own
// connection, opened for each look and closed again, so the program's writes are never held up.
struct StoredRow
{
    qint64 id = 0;
    QString serialNo;
    std::optional<double> channel1;
    std::optional<double> channel2;
    quint32 pointDate = 0;

    bool isBreak() const { return !channel1 && !channel2; }
};

inline bool readStoredRows(const QString &databasePath, QList<StoredRow> *out,
                           QString *error = nullptr)
{
    out->clear();
    const QString name = QStringLiteral("reader-") + QUuid::createUuid().toString();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databasePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=200"));
        if (db.open()) {
            QSqlQuery query(db);
            ok = query.exec(QStringLiteral(
                "select id, serialno, channel1, channel2, pointDate from kestrelix order by id"));
            while (ok && query.next()) {
                StoredRow row;
                row.id = query.value(0).toLongLong();
                row.serialNo = query.value(1).toString();
                if (!query.value(2).isNull())
                    row.channel1 = query.value(2).toDouble();
                if (!query.value(3).isNull())
                    row.channel2 = query.value(3).toDouble();
                row.pointDate = query.value(4).toUInt();
                out->append(row);
            }
            if (!ok && error)
                *error = query.lastError().text();
        } else if (error) {
            *error = db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

inline QList<StoredRow> rowsOf(const QList<StoredRow> &rows, const QString &serialNo)
{
    QList<StoredRow> result;
    for (const StoredRow &row : rows) {
        if (row.serialNo == serialNo)
            result.append(row);
    }
    return result;
}

inline int storedRowCount(const QString &databasePath, const QString &serialNo)
{
    QList<StoredRow> rows;
    if (!readStoredRows(databasePath, &rows))
        return -1;
    return int(rowsOf(rows, serialNo).size());
}

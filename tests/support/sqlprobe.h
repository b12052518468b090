#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

// Reads a SQLite file through a connection of its own, as a sibling program would; the
// connection is gone again when the call returns. An empty list when the file or the
// statement fails.
inline QList<QVariantList> sqlRows(const QString &path, const QString &sql,
                                   const QVariantList &binds = {})
{
    QList<QVariantList> rows;
    const QString name = QStringLiteral("sqlprobe");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
        QSqlQuery query(db.open() ? db : QSqlDatabase());
        if (db.isOpen() && query.prepare(sql)) {
            for (const QVariant &bind : binds)
                query.addBindValue(bind);
            const bool ran = query.exec();
            while (ran && query.next()) {
                QVariantList row;
                for (int i = 0; i < query.record().count(); ++i)
                    row.append(query.value(i));
                rows.append(row);
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

// The first column of the first row; an invalid QVariant when there is none.
inline QVariant sqlValue(const QString &path, const QString &sql, const QVariantList &binds = {})
{
    return sqlRows(path, sql, binds).value(0).value(0);
}

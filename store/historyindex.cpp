#include "store/historyindex.h"

#include "store/logcategories.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

bool ensureHistoryIndex(const QSqlDatabase &db)
{
    QElapsedTimer clock;
    clock.start();
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("create index if not exists kestrelix_serialno_pointdate on "
                                   "kestrelix (serialno, pointDate)"))) {
        qWarning().noquote() << "ensureHistoryIndex : [ERROR]" << query.lastError().text();
        return false;
    }
    if (clock.elapsed() > 100)
        qCDebug(lcStore) << "ensureHistoryIndex : index built in" << clock.elapsed() << "ms";
    return true;
}

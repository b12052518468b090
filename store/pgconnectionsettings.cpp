#include "store/pgconnectionsettings.h"

#include <QSqlDatabase>
#include <QUrl>

namespace {

// A server that does not answer must not hold a recorder's writer for libpq's default of
// forever.
const char DEFAULT_CONNECT_TIMEOUT[] = "connect_timeout=5";

QString decoded(const QString &text)
{
    return QUrl::fromPercentEncoding(text.toUtf8());
}

bool fail(QString *error, const QString &text)
{
    *error = text;
    return false;
}

} // namespace

bool PgConnectionSettings::isServerUrl(const QString &text)
{
    const QString t = text.trimmed();
    return t.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           t.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

bool PgConnectionSettings::parse(const QString &url)
{
    *this = PgConnectionSettings();
    const QString text = url.trimmed();
    if (!isServerUrl(text))
        return fail(&m_strError,
                    QStringLiteral("The database address must begin with postgresql://"));
    QString rest = text.mid(text.indexOf(QLatin1String("://")) + 3);
    QString query;
    const int q = rest.indexOf(QLatin1Char('?'));
    if (q >= 0) {
        query = rest.mid(q + 1);
        rest.truncate(q);
    }
    const int slash = rest.indexOf(QLatin1Char('/'));
    QString authority = slash >= 0 ? rest.left(slash) : rest;
    m_strDatabase = slash >= 0 ? decoded(rest.mid(slash + 1)) : QString();
    const int at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        if (userInfo.contains(QLatin1Char(':')))
            return fail(&m_strError,
                        QStringLiteral("The database address must not hold a password.\n"
                                       "Put it in ~/.pgpass or the file PGPASSFILE names."));
        m_strUser = decoded(userInfo);
    }
    // host:port, [v6]:port or a percent-encoded socket folder.
    QString portText;
    if (authority.startsWith(QLatin1Char('['))) {
        const int close = authority.indexOf(QLatin1Char(']'));
        if (close < 0)
            return fail(&m_strError, QStringLiteral("The database address has a broken host."));
        m_strHost = authority.mid(1, close - 1);
        if (authority.mid(close + 1).startsWith(QLatin1Char(':')))
            portText = authority.mid(close + 2);
    } else {
        const int colon = authority.lastIndexOf(QLatin1Char(':'));
        m_strHost = decoded(colon >= 0 ? authority.left(colon) : authority);
        if (colon >= 0)
            portText = authority.mid(colon + 1);
    }
    bool hasTimeout = false;
    for (const QString &pair : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const int eq = pair.indexOf(QLatin1Char('='));
        const QString key = decoded(pair.left(eq));
        const QString value = eq >= 0 ? decoded(pair.mid(eq + 1)) : QString();
        if (key == QLatin1String("password"))
            return fail(&m_strError,
                        QStringLiteral("The database address must not hold a password.\n"
                                       "Put it in ~/.pgpass or the file PGPASSFILE names."));
        if (key == QLatin1String("host"))
            m_strHost = value;
        else if (key == QLatin1String("port"))
            portText = value;
        else if (key == QLatin1String("user"))
            m_strUser = value;
        else if (key == QLatin1String("dbname"))
            m_strDatabase = value;
        else if (key.isEmpty() || value.contains(QLatin1Char(';')))
            return fail(&m_strError, QStringLiteral("The database address has a broken "
                                                    "parameter: ") +
                                         pair);
        else {
            hasTimeout = hasTimeout || key == QLatin1String("connect_timeout");
            m_options.append(key + QLatin1Char('=') + value);
        }
    }
    if (!portText.isEmpty()) {
        bool ok = false;
        m_nPort = portText.toInt(&ok);
        if (!ok || m_nPort <= 0 || m_nPort > 65535)
            return fail(&m_strError,
                        QStringLiteral("The database address has a wrong port: ") + portText);
    }
    if (m_strDatabase.isEmpty())
        return fail(&m_strError, QStringLiteral("The database address names no database: "
                                                "postgresql://user@host:port/dbname"));
    if (!hasTimeout)
        m_options.append(QString::fromLatin1(DEFAULT_CONNECT_TIMEOUT));
    return true;
}

QString PgConnectionSettings::displayName() const
{
    QString text = m_strUser.isEmpty() ? QString() : m_strUser + QLatin1Char('@');
    text += m_strHost.isEmpty() ? QStringLiteral("localhost") : m_strHost;
    if (m_nPort > 0)
        text += QLatin1Char(':') + QString::number(m_nPort);
    return text + QLatin1Char('/') + m_strDatabase;
}

QSqlDatabase PgConnectionSettings::addConnection(const QString &connectionName) const
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    db.setHostName(m_strHost);
    if (m_nPort > 0)
        db.setPort(m_nPort);
    db.setUserName(m_strUser);
    db.setDatabaseName(m_strDatabase);
    db.setConnectOptions(m_options.join(QLatin1Char(';')));
    return db;
}

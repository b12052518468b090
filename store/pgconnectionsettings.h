#pragma once

#include <QString>
#include <QStringList>

class QSqlDatabase;

// Where a project's central PostgreSQL database lies, read from its address:
// postgresql://user@host:port/dbname?sslmode=require. The address never carries a password:
// libpq reads it from ~/.pgpass or the file PGPASSFILE names. A host that is a folder (given
// percent-encoded, %2Frun%2Fpostgresql, or as ?host=/run/postgresql) is a Unix socket folder.
// Parameters libpq knows (sslmode, sslrootcert, connect_timeout, passfile...) pass through.
class PgConnectionSettings
{
public:
    // false with error() when the address is not one of ours.
    bool parse(const QString &url);
    QString error() const { return m_strError; }

    QString host() const { return m_strHost; }
    int port() const { return m_nPort; }
    QString user() const { return m_strUser; }
    QString databaseName() const { return m_strDatabase; }
    // "key=value" pairs for the driver, connect_timeout included.
    QStringList options() const { return m_options; }
    // The address as the user may see it: user@host:port/dbname.
    QString displayName() const;

    // Registers a "QPSQL" connection of that name with these settings; does not open it.
    QSqlDatabase addConnection(const QString &connectionName) const;
    // true when the address looks like one of ours, whatever its faults.
    static bool isServerUrl(const QString &text);

private:
    QString m_strError;
    QString m_strHost;
    int m_nPort = -1;
    QString m_strUser;
    QString m_strDatabase;
    QStringList m_options;
};

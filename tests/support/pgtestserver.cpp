#include "tests/support/pgtestserver.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>

#include <pwd.h>
#include <unistd.h>

static QString bin(const char *name)
{
    return QStringLiteral("/usr/lib/postgresql/15/bin/") + QLatin1String(name);
}

PgTestServer::~PgTestServer()
{
    if (m_bRunning)
        pgCtl({"stop", "-m", "immediate"});
}

QString PgTestServer::missingReason()
{
    for (const char *name : {"initdb", "pg_ctl", "postgres"})
        if (!QFileInfo(bin(name)).isExecutable())
            return QStringLiteral("no %1: install postgresql-15 (scripts/install-deps.sh)")
                .arg(bin(name));
    if (!getpwnam("postgres"))
        return QStringLiteral("no user postgres: install postgresql-15");
    if (geteuid() == 0 && !QFileInfo(QStringLiteral("/sbin/runuser")).isExecutable() &&
        !QFileInfo(QStringLiteral("/usr/sbin/runuser")).isExecutable())
        return QStringLiteral("no runuser: install util-linux");
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return QStringLiteral("no Qt driver QPSQL: install libqt6sql6-psql");
    return QString();
}

bool PgTestServer::run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    // The server refuses to run as root: as root, run it as the user the package made.
    if (geteuid() == 0)
        process.start(QStringLiteral("runuser"),
                      QStringList{"-u", "postgres", "--", program} + arguments);
    else
        process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        m_strError = program + QStringLiteral(": ") + QString::fromLocal8Bit(process.readAll());
        return false;
    }
    return true;
}

bool PgTestServer::pgCtl(const QStringList &arguments)
{
    return run(bin("pg_ctl"), QStringList{"-D", m_dir.filePath("data"), "-w"} + arguments);
}

bool PgTestServer::start()
{
    const passwd *pw = getpwnam("postgres");
    if (!m_dir.isValid() ||
        (pw && geteuid() == 0 && chown(QFile::encodeName(m_dir.path()), pw->pw_uid, pw->pw_gid))) {
        m_strError = QStringLiteral("no temporary folder for postgres");
        return false;
    }
    const QString data = m_dir.filePath("data");
    if (!run(bin("initdb"), {"-D", data, "-A", "trust", "-U", "postgres", "--no-sync"}))
        return false;
    QFile hba(data + "/pg_hba.conf"), conf(data + "/postgresql.conf");
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate) || !conf.open(QIODevice::Append)) {
        m_strError = QStringLiteral("cannot write the server's configuration");
        return false;
    }
    hba.write("local all writer scram-sha-256\nlocal all all trust\n");
    conf.write(QStringLiteral("listen_addresses = ''\nunix_socket_directories = '%1'\n%2")
                   .arg(m_dir.path(), m_bDurable ? "" : "fsync = off\nsynchronous_commit = off\n")
                   .toUtf8());
    hba.close();
    conf.close();
    return restart() && exec({"create role writer login password 'secret'",
                              "create database velmoran owner writer"},
                             nullptr, QStringLiteral("postgres"));
}

bool PgTestServer::restart()
{
    m_bRunning = pgCtl({"-l", m_dir.filePath("server.log"), "start"});
    return m_bRunning;
}

bool PgTestServer::stop()
{
    if (m_bRunning)
        m_bRunning = !pgCtl({"stop", "-m", "fast"});
    return !m_bRunning;
}

QString PgTestServer::url(const QString &user, const QString &query) const
{
    const QString text = QStringLiteral("postgresql://%1@%2/velmoran")
                             .arg(user, QString::fromLatin1(QUrl::toPercentEncoding(m_dir.path())));
    return query.isEmpty() ? text : text + QLatin1Char('?') + query;
}

bool PgTestServer::exec(const QStringList &statements, QString *firstValue,
                        const QString &database) const
{
    const QString name = QStringLiteral("pgtest-") + QUuid::createUuid().toString(QUuid::Id128);
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(m_dir.path());
        db.setUserName(QStringLiteral("postgres"));
        db.setDatabaseName(database);
        ok = db.open();
        QSqlQuery query(db);
        for (int i = 0; ok && i < statements.size(); ++i)
            ok = query.exec(statements.at(i));
        if (!ok)
            m_strError = db.isOpen() ? query.lastError().text() : db.lastError().text();
        if (ok && firstValue && query.next())
            *firstValue = query.value(0).toString();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

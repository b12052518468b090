#include "tests/support/pgtestserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include <pwd.h>
#include <unistd.h>

namespace {

const char BIN_DIR[] = "/usr/lib/postgresql/15/bin/";

QString bin(const char *name)
{
    return QString::fromLatin1(BIN_DIR) + QLatin1String(name);
}

} // namespace

PgTestServer::PgTestServer(bool durable)
    : m_dir(QDir::tempPath() + QStringLiteral("/velmoran-pg-XXXXXX")), m_bDurable(durable)
{
}

PgTestServer::~PgTestServer()
{
    if (m_bRunning)
        pgCtl({QStringLiteral("stop"), QStringLiteral("-m"), QStringLiteral("immediate")});
}

QString PgTestServer::missingReason()
{
    for (const char *name : {"initdb", "pg_ctl", "postgres"}) {
        if (!QFileInfo(bin(name)).isExecutable())
            return QStringLiteral("no %1: install postgresql-15 (scripts/install-deps.sh)")
                .arg(bin(name));
    }
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
                      QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                  QStringLiteral("--"), program} +
                          arguments);
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
    return run(bin("pg_ctl"),
               QStringList{QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")),
                           QStringLiteral("-w")} +
                   arguments);
}

QString PgTestServer::socketDir() const
{
    return m_dir.path();
}

bool PgTestServer::start()
{
    if (!m_dir.isValid()) {
        m_strError = QStringLiteral("no temporary folder");
        return false;
    }
    if (const passwd *pw = getpwnam("postgres"); pw && geteuid() == 0) {
        if (chown(QFile::encodeName(m_dir.path()).constData(), pw->pw_uid, pw->pw_gid) != 0) {
            m_strError = QStringLiteral("cannot hand the folder to postgres");
            return false;
        }
    }
    const QString data = m_dir.filePath(QStringLiteral("data"));
    if (!run(bin("initdb"),
             {QStringLiteral("-D"), data, QStringLiteral("-A"), QStringLiteral("trust"),
              QStringLiteral("-U"), QStringLiteral("postgres"), QStringLiteral("--no-sync")}))
        return false;
    QFile hba(data + QStringLiteral("/pg_hba.conf"));
    QFile conf(data + QStringLiteral("/postgresql.conf"));
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate) || !conf.open(QIODevice::Append)) {
        m_strError = QStringLiteral("cannot write the server's configuration");
        return false;
    }
    hba.write("local all writer scram-sha-256\nlocal all all trust\n");
    conf.write(QStringLiteral("listen_addresses = ''\nunix_socket_directories = '%1'\n")
                   .arg(m_dir.path())
                   .toUtf8());
    if (!m_bDurable)
        conf.write("fsync = off\nsynchronous_commit = off\n");
    hba.close();
    conf.close();
    if (!restart())
        return false;
    return exec({QStringLiteral("create role writer login password 'secret'"),
                 QStringLiteral("create database velmoran owner writer")});
}

bool PgTestServer::restart()
{
    m_bRunning = pgCtl({QStringLiteral("-l"), m_dir.filePath(QStringLiteral("server.log")),
                        QStringLiteral("start")});
    return m_bRunning;
}

bool PgTestServer::stop()
{
    if (!m_bRunning)
        return true;
    m_bRunning = !pgCtl({QStringLiteral("stop"), QStringLiteral("-m"), QStringLiteral("fast")});
    return !m_bRunning;
}

QString PgTestServer::url(const QString &user, const QString &query) const
{
    QString text = QStringLiteral("postgresql://%1@%2/velmoran")
                       .arg(user, QString::fromLatin1(QUrl::toPercentEncoding(m_dir.path())));
    return query.isEmpty() ? text : text + QLatin1Char('?') + query;
}

bool PgTestServer::exec(const QStringList &statements, QString *firstValue) const
{
    const QString name = QStringLiteral("pgtest-") + QUuid::createUuid().toString(QUuid::Id128);
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(m_dir.path());
        db.setUserName(QStringLiteral("postgres"));
        db.setDatabaseName(statements.value(0).startsWith(QLatin1String("create database")) ||
                                   statements.value(1).startsWith(QLatin1String("create database"))
                               ? QStringLiteral("postgres")
                               : QStringLiteral("velmoran"));
        ok = db.open();
        QSqlQuery query(db);
        for (const QString &statement : statements) {
            if (!ok)
                break;
            ok = query.exec(statement);
            if (!ok)
                const_cast<PgTestServer *>(this)->m_strError = query.lastError().text();
        }
        if (ok && firstValue && query.next())
            *firstValue = query.value(0).toString();
        if (!db.isOpen())
            const_cast<PgTestServer *>(this)->m_strError = db.lastError().text();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

#pragma once

#include <QDir>
#include <QTemporaryDir>

// A private PostgreSQL 15 server for one test: a fresh data folder, a Unix socket in it, run as
// the "postgres" user (the server refuses root). It holds the database "velmoran", the trusted
// superuser "postgres" and the user "writer" who must give the password "secret".
class PgTestServer
{
public:
    // durable: fsync and synchronous commit as a real site runs them (benchmarks); without,
    // tests skip the disk flushes.
    explicit PgTestServer(bool durable = false) : m_bDurable(durable) {}
    ~PgTestServer();

    // Why no server can run here (binaries, user or Qt driver missing); empty when one can.
    static QString missingReason();

    bool start();
    bool stop();
    // Starts the stopped server again on the same data.
    bool restart();
    QString lastError() const { return m_strError; }
    // postgresql://USER@%2F...%2Fsocket/velmoran, then the extra query text if any.
    QString url(const QString &user = QStringLiteral("postgres"),
                const QString &query = QString()) const;
    // Runs statements as the superuser on its own connection; false on the first failure.
    bool exec(const QStringList &statements, QString *firstValue = nullptr,
              const QString &database = QStringLiteral("velmoran")) const;

private:
    bool pgCtl(const QStringList &arguments);
    bool run(const QString &program, const QStringList &arguments);

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/velmoran-pg-XXXXXX")};
    mutable QString m_strError;
    bool m_bRunning = false;
    bool m_bDurable = false;
};

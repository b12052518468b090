#pragma once

#include "sim/simoptions.h"

#include <QList>
#include <QObject>

class DiscoveryResponder;
class SimLogger;
class TcpLogger;

// Owns the simulated loggers and carries out the commands read from standard input.
class Simulator : public QObject
{
    Q_OBJECT

public:
    explicit Simulator(const SimOptions &options, QObject *parent = nullptr);

    // Starts every logger and prints the LOGGER lines and READY.
    bool start(QString *error);

    // Returns the one reply line of a command; extra lines (a new LOGGER line) are printed first.
    QString execute(const QByteArray &line);

    void slotCommandLine(const QByteArray &line);

signals:
    void quitRequested();

private:
    SimLogger *findLogger(const QString &id) const;
    QString executeFault(SimLogger *logger, const QList<QByteArray> &words);

    SimOptions m_options;
    QList<SimLogger *> m_loggers;
    QList<TcpLogger *> m_tcpLoggers;
    DiscoveryResponder *m_pDiscovery = nullptr;
};

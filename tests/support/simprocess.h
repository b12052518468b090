#pragma once

#include <QProcess>

#include <memory>

#ifndef KESTRELIX_SIM_PATH
#define KESTRELIX_SIM_PATH ""
#endif

// Runs the logger simulator for one test: starts it, waits for its READY line, knows its
// loggers, and sends it commands. The destructor stops it.
class SimProcess
{
public:
    struct Logger
    {
        QString id, kind, address;
        quint16 port = 0;
        QString deviceNumber;
    };

    // By default the simulator the test was built with: velmoran_add_test(... SIM).
    explicit SimProcess(const QString &program = QStringLiteral(KESTRELIX_SIM_PATH))
        : m_strProgram(program)
    {
    }
    ~SimProcess() { stop(); }

    // Starts the simulator and waits for READY; false (with a warning saying why) on failure.
    bool start(const QStringList &args, int timeoutMs = 10000);
    QList<Logger> loggers() const { return m_loggers; }
    // The logger with this id; an empty Logger when there is none.
    Logger logger(const QString &id) const;
    // Sends one command line and returns its reply line ("ok ..." / "err ..."), or an empty
    // string when none came within the timeout.
    QString command(const QString &line, int timeoutMs = 5000);
    // Asks the simulator to quit, and kills it if it does not.
    void stop();
    bool isRunning() const { return m_pProcess && m_pProcess->state() != QProcess::NotRunning; }
    qint64 processId() const { return m_pProcess ? m_pProcess->processId() : 0; }

private:
    // Reads lines until `done` holds or the deadline passes; false on time-out or exit.
    template <typename Done> bool readUntil(Done done, int timeoutMs);
    void handleLine(const QString &line);

    QString m_strProgram;
    std::unique_ptr<QProcess> m_pProcess;
    QByteArray m_partial;
    QList<Logger> m_loggers;
    QStringList m_outputLines, m_replies;
    bool m_bReady = false;
};

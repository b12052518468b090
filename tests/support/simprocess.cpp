#include "tests/support/simprocess.h"

#include <QDeadlineTimer>
#include <QDebug>

template <typename Done> bool SimProcess::readUntil(Done done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (m_pProcess->bytesAvailable() == 0) {
            if (deadline.hasExpired() || !isRunning())
                return false;
            m_pProcess->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
        m_partial += m_pProcess->readAllStandardOutput();
        for (int lf; (lf = m_partial.indexOf('\n')) >= 0; m_partial.remove(0, lf + 1))
            handleLine(QString::fromUtf8(m_partial.left(lf)));
    }
    return true;
}

bool SimProcess::start(const QStringList &args, int timeoutMs)
{
    stop();
    m_pProcess = std::make_unique<QProcess>();
    m_pProcess->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_partial.clear();
    m_loggers.clear();
    m_outputLines.clear();
    m_bReady = false;
    m_pProcess->start(m_strProgram, args);
    if (!m_pProcess->waitForStarted(timeoutMs) ||
        !readUntil([this] { return m_bReady; }, timeoutMs)) {
        qWarning() << "SimProcess: no READY from" << m_strProgram << args
                   << m_pProcess->errorString() << m_outputLines;
        stop();
    }
    return m_bReady;
}

SimProcess::Logger SimProcess::logger(const QString &id) const
{
    for (const Logger &l : m_loggers)
        if (l.id == id)
            return l;
    return {};
}

QString SimProcess::command(const QString &line, int timeoutMs)
{
    if (!isRunning())
        return {};
    m_replies.clear();
    m_pProcess->write(line.toUtf8() + '\n');
    if (!readUntil([this] { return !m_replies.isEmpty(); }, timeoutMs))
        qWarning() << "SimProcess: no reply to" << line;
    return m_replies.value(0);
}

void SimProcess::handleLine(const QString &line)
{
    m_outputLines << line;
    if (line == QLatin1String("READY"))
        m_bReady = true;
    else if (line.startsWith(QLatin1String("ok")) || line.startsWith(QLatin1String("err")))
        m_replies << line;
    // LOGGER <id> TCP <address> <port> <number> | LOGGER <id> USB <pty> <number>
    const QStringList words = line.split(' ');
    if (words.value(0) != QLatin1String("LOGGER") || words.size() < 5)
        return;
    const bool tcp = words.at(2) == QLatin1String("TCP");
    const Logger logger{words.at(1), words.at(2), words.at(3),
                        tcp ? words.at(4).toUShort() : quint16(0),
                        tcp ? words.value(5) : words.at(4)};
    for (Logger &known : m_loggers) {
        if (known.id == logger.id) {
            known = logger;
            return;
        }
    }
    m_loggers << logger;
}

void SimProcess::stop()
{
    if (isRunning() && (m_pProcess->write("quit\n") < 0 || !m_pProcess->waitForFinished(3000))) {
        m_pProcess->kill();
        m_pProcess->waitForFinished(3000);
    }
    m_pProcess.reset();
}

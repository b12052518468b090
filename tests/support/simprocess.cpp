#include "tests/support/simprocess.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QProcess>

SimProcess::SimProcess(const QString &program) : m_strProgram(program) {}

SimProcess::~SimProcess()
{
    stop();
}

void SimProcess::setProgram(const QString &path)
{
    m_strProgram = path;
}

bool SimProcess::isRunning() const
{
    return m_pProcess && m_pProcess->state() != QProcess::NotRunning;
}

qint64 SimProcess::processId() const
{
    return m_pProcess ? m_pProcess->processId() : 0;
}

bool SimProcess::start(const QStringList &args, int timeoutMs)
{
    stop();
    if (m_strProgram.isEmpty()) {
        qWarning() << "SimProcess::start : no simulator program (call setProgram)";
        return false;
    }
    m_pProcess = std::make_unique<QProcess>();
    m_pProcess->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_partial.clear();
    m_loggers.clear();
    m_outputLines.clear();
    m_replies.clear();
    m_bReady = false;

    m_pProcess->start(m_strProgram, args);
    const QDeadlineTimer deadline(timeoutMs);
    if (!m_pProcess->waitForStarted(int(deadline.remainingTime()))) {
        qWarning() << "SimProcess::start : cannot start" << m_strProgram
                   << m_pProcess->errorString();
        return false;
    }
    while (!m_bReady && !deadline.hasExpired()) {
        if (m_pProcess->bytesAvailable() == 0 &&
            !m_pProcess->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            if (m_pProcess->state() == QProcess::NotRunning)
                break;
            continue;
        }
        for (const QString &line : readLines())
            handleLine(line);
    }
    if (!m_bReady) {
        qWarning() << "SimProcess::start : no READY from" << m_strProgram << args
                   << "output:" << m_outputLines;
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
    const QDeadlineTimer deadline(timeoutMs);
    while (m_replies.isEmpty()) {
        if (m_pProcess->bytesAvailable() == 0) {
            if (deadline.hasExpired() || m_pProcess->state() == QProcess::NotRunning)
                break;
            m_pProcess->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
            continue;
        }
        for (const QString &l : readLines())
            handleLine(l);
    }
    if (m_replies.isEmpty()) {
        qWarning() << "SimProcess::command : no reply to" << line;
        return {};
    }
    return m_replies.takeFirst();
}

QStringList SimProcess::readLines()
{
    m_partial += m_pProcess->readAllStandardOutput();
    QStringList lines;
    int lf;
    while ((lf = m_partial.indexOf('\n')) >= 0) {
        lines << QString::fromUtf8(m_partial.left(lf));
        m_partial.remove(0, lf + 1);
    }
    return lines;
}

void SimProcess::handleLine(const QString &line)
{
    m_outputLines << line;
    if (line == QLatin1String("READY")) {
        m_bReady = true;
        return;
    }
    if (line.startsWith(QLatin1String("ok")) || line.startsWith(QLatin1String("err"))) {
        m_replies << line;
        return;
    }
    const QStringList words = line.split(' ');
    if (words.value(0) != QLatin1String("LOGGER") || words.size() < 5)
        return;
    Logger logger;
    logger.id = words.at(1);
    logger.kind = words.at(2);
    logger.address = words.at(3);
    if (logger.kind == QLatin1String("TCP")) {
        logger.port = words.at(4).toUShort();
        logger.deviceNumber = words.value(5);
    } else {
        logger.deviceNumber = words.at(4);
    }
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
    if (!m_pProcess)
        return;
    if (m_pProcess->state() != QProcess::NotRunning) {
        m_pProcess->write("quit\n");
        if (!m_pProcess->waitForFinished(3000)) {
            m_pProcess->terminate();
            if (!m_pProcess->waitForFinished(3000)) {
                m_pProcess->kill();
                m_pProcess->waitForFinished(3000);
            }
        }
    }
    m_pProcess.reset();
}

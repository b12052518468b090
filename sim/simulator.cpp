#include "sim/simulator.h"

#include "sim/cescape.h"
#include "sim/discoveryresponder.h"
#include "sim/stdoutwriter.h"
#include "sim/tcplogger.h"
#include "sim/usblogger.h"

namespace {

constexpr quint16 DISCOVERY_PORT = 50000;

bool parseNonNegative(const QByteArray &text, int *out)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0)
        return false;
    *out = value;
    return true;
}

} // namespace

Simulator::Simulator(const SimOptions &options, QObject *parent)
    : QObject(parent), m_options(options)
{
    for (int i = 0; i < options.tcpCount; ++i) {
        const quint16 port = options.tcpBasePort == 0 ? 0 : quint16(options.tcpBasePort + i);
        auto *logger = new TcpLogger(i, options.bind, port, options.advertise, options.seed, this);
        m_tcpLoggers.append(logger);
        m_loggers.append(logger);
    }
    for (int i = 0; i < options.usbCount; ++i)
        m_loggers.append(new UsbLogger(i, options.usbLinkDir, options.seed, this));
}

bool Simulator::start(QString *error)
{
    for (auto it = m_options.drift.cbegin(); it != m_options.drift.cend(); ++it) {
        SimLogger *logger = findLogger(it.key());
        if (!logger) {
            *error = QStringLiteral("--drift names no logger: %1").arg(it.key());
            return false;
        }
        logger->behaviour().setDrift(it.value());
    }
    for (SimLogger *logger : qAsConst(m_loggers))
        if (!logger->start(error))
            return false;
    if (m_options.discovery) {
        m_pDiscovery = new DiscoveryResponder(m_tcpLoggers, this);
        if (!m_pDiscovery->start(m_options.discoveryBind, DISCOVERY_PORT, error))
            return false;
    }
    for (SimLogger *logger : qAsConst(m_loggers))
        writeStdoutLine(logger->loggerLine());
    writeStdoutLine(QStringLiteral("READY"));
    return true;
}

void Simulator::slotCommandLine(const QByteArray &line)
{
    if (line.trimmed().isEmpty())
        return;
    writeStdoutLine(execute(line));
    if (line.trimmed() == "quit")
        emit quitRequested();
}

SimLogger *Simulator::findLogger(const QString &id) const
{
    for (SimLogger *logger : m_loggers)
        if (logger->id() == id)
            return logger;
    return nullptr;
}

QString Simulator::execute(const QByteArray &line)
{
    // Split on single spaces, keeping empty words, so "values tcp0  5" sets an empty first value.
    const QList<QByteArray> words = line.split(' ');
    const QByteArray command = words.first();
    if (command == "quit")
        return QStringLiteral("ok");
    if (words.size() < 2)
        return QStringLiteral("err unknown command or missing logger id: %1")
            .arg(QString::fromLatin1(line));
    const QString id = QString::fromLatin1(words.at(1));
    SimLogger *logger = findLogger(id);
    if (!logger)
        return QStringLiteral("err unknown logger: %1").arg(id);
    LoggerBehaviour &behaviour = logger->behaviour();

    if (command == "values") {
        if (words.size() != 4)
            return QStringLiteral("err usage: values <id> <v1> <v2>");
        behaviour.setFixedValues(words.at(2), words.at(3));
        return QStringLiteral("ok");
    }
    if (command == "auto") {
        behaviour.setAutoValues();
        return QStringLiteral("ok");
    }
    if (command == "raw") {
        const int prefix = int(command.size() + 1 + words.at(1).size() + 1);
        behaviour.setRawReply(decodeCEscapes(line.mid(prefix)));
        return QStringLiteral("ok");
    }
    if (command == "fault")
        return executeFault(logger, words);
    if (command == "received")
        return QStringLiteral("ok ") + behaviour.takeReceived().join('|');
    if (command == "setup")
        return QStringLiteral("ok ") + behaviour.setupText();
    if (command == "connections")
        return QStringLiteral("ok %1").arg(logger->connectionCount());
    if (command == "count")
        return QStringLiteral("ok %1").arg(behaviour.answerCount());
    if (command == "stop") {
        logger->stop();
        return QStringLiteral("ok");
    }
    if (command == "start") {
        QString error;
        if (!logger->start(&error))
            return QStringLiteral("err ") + error;
        if (!logger->supportsConnectionFaults())
            writeStdoutLine(logger->loggerLine());
        return QStringLiteral("ok");
    }
    if (command == "reset") {
        if (!logger->supportsConnectionFaults())
            return QStringLiteral("err reset needs a network logger");
        logger->resetConnections();
        return QStringLiteral("ok");
    }
    return QStringLiteral("err unknown command: %1").arg(QString::fromLatin1(command));
}

QString Simulator::executeFault(SimLogger *logger, const QList<QByteArray> &words)
{
    using Fault = LoggerBehaviour::Fault;
    const QByteArray kind = words.value(2);
    const int extra = int(words.size()) - 3;
    static const QHash<QByteArray, Fault> simple = {
        {"none", Fault::None},        {"noanswer", Fault::NoAnswer}, {"garbage", Fault::Garbage},
        {"close", Fault::Close},      {"notok", Fault::NotOk},       {"nul", Fault::Nul},
        {"longline", Fault::LongLine}};
    if (simple.contains(kind) && extra == 0) {
        if (kind == "close" && !logger->supportsConnectionFaults())
            return QStringLiteral("err close needs a network logger");
        logger->behaviour().setFault(simple.value(kind));
        return QStringLiteral("ok");
    }
    int first = 0;
    int second = 0;
    if (kind == "split" && extra == 2 && parseNonNegative(words.at(3), &first) &&
        parseNonNegative(words.at(4), &second)) {
        logger->behaviour().setFault(Fault::Split, first, second);
        return QStringLiteral("ok");
    }
    if (kind == "slow" && extra == 1 && parseNonNegative(words.at(3), &first)) {
        logger->behaviour().setFault(Fault::Slow, 0, first);
        return QStringLiteral("ok");
    }
    return QStringLiteral("err usage: fault <id> none|noanswer|garbage|close|notok|nul|longline, "
                          "fault <id> split <bytepos> <pause-ms>, fault <id> slow <ms>");
}

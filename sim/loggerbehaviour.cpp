#include "sim/loggerbehaviour.h"

namespace {

// Keeps a test that never asks for `received` from growing the simulator without bound.
constexpr int MAX_RECEIVED = 1000;
constexpr int LONG_FIELD = 2000;

const char *const SETUP_KEYS[] = {"ATBMIN1", "ATBMAX1", "ATBMIN2", "ATBMAX2", "ATBAL"};

} // namespace

LoggerBehaviour::LoggerBehaviour(int index, const QByteArray &marker, bool acceptsSetup,
                                 quint32 seed)
    : m_nIndex(index), m_marker(marker), m_bAcceptsSetup(acceptsSetup),
      m_nGarbageState(seed * 2654435761u + quint32(index) * 40503u + 1u)
{
}

QByteArray LoggerBehaviour::formulaValue(int index, int answer, int channel, double drift)
{
    const double value = channel == 1 ? 20 + index + (answer % 10) * 0.1 + answer * drift
                                      : 40 + index + (answer % 5) * 0.5;
    return QByteArray::number(value, 'f', 2);
}

ReplyPlan LoggerBehaviour::answer(const QByteArray &requestLine)
{
    if (m_received.size() >= MAX_RECEIVED)
        m_received.removeFirst();
    m_received.append(QString::fromLatin1(requestLine));

    const QByteArray line = requestLine.trimmed();
    if (line == m_marker) {
        if (m_fault == Fault::NoAnswer)
            return {};
        ReplyPlan plan = timed(pollReply());
        ++m_nAnswers;
        return plan;
    }
    if (m_bAcceptsSetup && line.startsWith("ATB"))
        return setupReply(line);
    return {};
}

QByteArray LoggerBehaviour::pollReply()
{
    QByteArray v1, v2;
    switch (m_valueMode) {
    case ValueMode::Raw:
        return m_raw;
    case ValueMode::Fixed:
        v1 = m_fixed1;
        v2 = m_fixed2;
        break;
    case ValueMode::Auto:
        v1 = formulaValue(m_nIndex, m_nAnswers, 1, m_dDrift);
        v2 = formulaValue(m_nIndex, m_nAnswers, 2);
        break;
    }
    switch (m_fault) {
    case Fault::Garbage:
        v1 = garbageField();
        v2 = garbageField();
        break;
    case Fault::LongLine:
        v1 = QByteArray(LONG_FIELD, '1');
        v2 = QByteArray(LONG_FIELD, '2');
        break;
    default:
        break;
    }
    QByteArray reply = m_marker + ' ' + v1 + ',' + v2 + "\r\n";
    if (m_fault == Fault::Nul)
        reply += QByteArray(1, '\0') + m_marker + " 999.00,999.00\r\n";
    return reply;
}

ReplyPlan LoggerBehaviour::setupReply(const QByteArray &line)
{
    if (m_fault == Fault::NoAnswer)
        return {};
    if (m_fault == Fault::NotOk)
        return timed("ERR\r\n");

    if (line == "ATBSET") {
        ++m_nSetCount;
    } else {
        const int space = line.indexOf(' ');
        const QByteArray key = space < 0 ? line : line.left(space);
        const QByteArray value = space < 0 ? QByteArray() : line.mid(space + 1).trimmed();
        bool known = false;
        for (const char *k : SETUP_KEYS)
            known = known || key == k;
        if (!known)
            return {};
        m_setup.insert(key, value);
    }
    return timed(m_valueMode == ValueMode::Raw ? m_raw : QByteArray("OK\r\n"));
}

ReplyPlan LoggerBehaviour::timed(const QByteArray &bytes) const
{
    switch (m_fault) {
    case Fault::Split: {
        const int pos = qBound(0, m_nSplitPos, int(bytes.size()));
        return {ReplyChunk{0, bytes.left(pos), false},
                ReplyChunk{m_nDelayMs, bytes.mid(pos), false}};
    }
    case Fault::Slow:
        return {ReplyChunk{m_nDelayMs, bytes, false}};
    case Fault::Close:
        return {ReplyChunk{0, bytes, true}};
    default:
        return {ReplyChunk{0, bytes, false}};
    }
}

QByteArray LoggerBehaviour::garbageField()
{
    static const char pool[] = "abxyz#?!.-+eE:";
    QByteArray field;
    for (int i = 0; i < 4; ++i) {
        m_nGarbageState = m_nGarbageState * 1664525u + 1013904223u;
        field.append(pool[(m_nGarbageState >> 16) % (sizeof(pool) - 1)]);
    }
    return field;
}

void LoggerBehaviour::setFixedValues(const QByteArray &v1, const QByteArray &v2)
{
    m_valueMode = ValueMode::Fixed;
    m_fixed1 = v1;
    m_fixed2 = v2;
}

void LoggerBehaviour::setAutoValues()
{
    m_valueMode = ValueMode::Auto;
}

void LoggerBehaviour::setRawReply(const QByteArray &bytes)
{
    m_valueMode = ValueMode::Raw;
    m_raw = bytes;
}

void LoggerBehaviour::setFault(Fault fault, int splitPos, int delayMs)
{
    m_fault = fault;
    m_nSplitPos = splitPos;
    m_nDelayMs = delayMs;
}

QStringList LoggerBehaviour::takeReceived()
{
    QStringList lines;
    lines.swap(m_received);
    return lines;
}

QString LoggerBehaviour::setupText() const
{
    QStringList parts;
    for (const char *k : SETUP_KEYS)
        parts << QString::fromLatin1(k) + '=' + QString::fromLatin1(m_setup.value(k));
    parts << QStringLiteral("SET=%1").arg(m_nSetCount);
    return parts.join(' ');
}

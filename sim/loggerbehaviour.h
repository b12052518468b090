#pragma once

#include "sim/replychunk.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// What one simulated logger answers, independent of its transport. Poll answers follow the
// deterministic value formula unless fixed values or raw bytes are set; a fault changes the
// content (polls only) or the timing (polls and setup answers) of what is written.
class LoggerBehaviour
{
public:
    enum class Fault
    {
        None,
        NoAnswer,
        Garbage,
        Close,
        NotOk,
        Nul,
        LongLine,
        Split,
        Slow
    };

    LoggerBehaviour(int index, const QByteArray &marker, bool acceptsSetup, quint32 seed);

    ReplyPlan answer(const QByteArray &requestLine);

    void setFixedValues(const QByteArray &v1, const QByteArray &v2);
    void setAutoValues();
    void setRawReply(const QByteArray &bytes);
    void setFault(Fault fault, int splitPos = 0, int delayMs = 0);
    void setDrift(double step) { m_dDrift = step; }

    QStringList takeReceived();
    QString setupText() const;
    int answerCount() const { return m_nAnswers; }

    static QByteArray formulaValue(int index, int answer, int channel, double drift = 0.0);

private:
    enum class ValueMode
    {
        Auto,
        Fixed,
        Raw
    };

    QByteArray pollReply();
    ReplyPlan setupReply(const QByteArray &line);
    ReplyPlan timed(const QByteArray &bytes) const;
    QByteArray garbageField();

    int m_nIndex;
    QByteArray m_marker;
    bool m_bAcceptsSetup;
    quint32 m_nGarbageState;
    ValueMode m_valueMode = ValueMode::Auto;
    QByteArray m_fixed1, m_fixed2, m_raw;
    Fault m_fault = Fault::None;
    int m_nSplitPos = 0;
    int m_nDelayMs = 0;
    double m_dDrift = 0.0;
    int m_nAnswers = 0;
    QStringList m_received;
    QMap<QByteArray, QByteArray> m_setup;
    int m_nSetCount = 0;
};

#pragma once

#include <QString>

// One entry of the project's event log: an alarm, a communication change or an operator action.
// Channel 0 is the logger (or the project, with an empty serial), 1 and 2 its channels; value
// and limits are NO_VALUE where the kind has none.
struct EventRow
{
    quint32 pointDate = 0; // seconds since 1970-01-01 UTC, as the samples
    QString serialNo;
    int channel = 0;
    QString kind;
    double value;
    double lowerLimit;
    double upperLimit;
    QString text;
};

// The kinds, as stored in the kind column.
namespace EventKind {
inline const QString alarmStarted = QStringLiteral("alarm started");
inline const QString alarmPeak = QStringLiteral("alarm peak");
inline const QString alarmEnded = QStringLiteral("alarm ended");
inline const QString communicationLost = QStringLiteral("communication lost");
inline const QString communicationRestored = QStringLiteral("communication restored");
inline const QString recordingStarted = QStringLiteral("recording started");
inline const QString recordingStopped = QStringLiteral("recording stopped");
inline const QString limitsChanged = QStringLiteral("limits changed");
inline const QString loggerAdded = QStringLiteral("logger added");
inline const QString loggerRemoved = QStringLiteral("logger removed");
} // namespace EventKind

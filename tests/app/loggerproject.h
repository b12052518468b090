#pragma once

#include "tests/app/appfixture.h"
#include "tests/support/simprocess.h"
#include "tests/support/simulatorproject.h"

#include <QList>
#include <QString>

namespace AppFixture {

// Limits wide enough that the simulator's values never alarm unless a test narrows them.
struct LoggerLimits
{
    float ch1Min = -100, ch1Max = 100, ch2Min = -100, ch2Max = 200;
};

inline bool writeLoggerProject(const QString &path, const QList<SimProcess::Logger> &loggers,
                               int interval, const LoggerLimits &limits = {})
{
    return writeSimulatorProject(path, loggers, interval,
                                 {limits.ch1Min, limits.ch1Max, limits.ch2Min, limits.ch2Max});
}

} // namespace AppFixture

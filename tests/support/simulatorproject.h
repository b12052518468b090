#pragma once

#include "tests/support/simprocess.h"

struct AlarmLimits
{
    float ch1Min = 0, ch1Max = 0, ch2Min = 0, ch2Max = 0; // equal limits: no range set
};

// Writes a project of the simulator's loggers: network ones at their address and port, USB ones on
// their pseudo-terminal, each named after its simulator id, all on the first dashboard.
bool writeSimulatorProject(const QString &path, const QList<SimProcess::Logger> &loggers,
                           int interval, const AlarmLimits &limits = {},
                           const QStringList &dashboardNames = {"A", "B", "C", "D"});

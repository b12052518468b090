#pragma once

// NO_VALUE, the no-value marker, belongs to the row type.
#include "store/serialdatarow.h"

// Link types, as stored in the project file ("SERIAL" for 1, "TELNET" otherwise).
constexpr int LINK_NONE = 0;
constexpr int LINK_SERIAL = 1;
constexpr int LINK_TCP = 2;

// Samples kept per chart buffer.
constexpr int CHART_POINTS = 240;

#pragma once

// Link types, as stored in the project file ("SERIAL" for 1, "TELNET" otherwise).
constexpr int LINK_NONE = 0;
constexpr int LINK_SERIAL = 1;
constexpr int LINK_TCP = 2;

// The no-value marker: never drawn by the charts and written to the database as NULL.
constexpr double NO_VALUE = 1.7e308;

// Samples kept per chart buffer.
constexpr int CHART_POINTS = 240;

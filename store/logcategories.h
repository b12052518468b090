#pragma once

#include <QLoggingCategory>

// The program's diagnostic lines, by subsystem. Their debug level (every poll, every batch,
// every datagram) is off unless asked for with --verbose or QT_LOGGING_RULES (for example
// "velmoran.device.debug=true"); warnings and errors always reach the terminal. Declared here in
// the lowest library so that every layer can use them.
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcDevice)
Q_DECLARE_LOGGING_CATEGORY(lcDiscovery)
Q_DECLARE_LOGGING_CATEGORY(lcProject)
Q_DECLARE_LOGGING_CATEGORY(lcStore)
// One info line per alarm or communication event (see AlarmEventLog).
Q_DECLARE_LOGGING_CATEGORY(lcEvents)

namespace LogCategories {
// The filter rule that turns every one of them on to the debug level.
inline constexpr const char *kVerboseRule = "velmoran.*.debug=true";
} // namespace LogCategories

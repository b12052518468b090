#pragma once

// Points QSettings (native and INI, user scope) and QStandardPaths at a temporary folder that
// lives as long as the process, so no test ever reads or writes a real user's settings.
// Call it first in initTestCase().
void isolateSettings();

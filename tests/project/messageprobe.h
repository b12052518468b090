#pragma once

// The probe moved to the shared test support.
#include "tests/support/messageprobe.h"

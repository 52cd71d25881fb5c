// The switch of the add-on's own test run in the host: TAMSEL_OVRA_SELFTEST set to a value of 1 to
// 3 characters beginning with "1". Read by the run itself and by the capture, which then accepts
// the run's orbit view. Any thread.
#pragma once
#include "platform/System.h"

inline bool TestRunMode() { return EnvironmentFlag("TAMSEL_OVRA_SELFTEST", 4); }

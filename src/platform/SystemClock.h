#pragma once

#include "platform/Scheduler.h"

namespace nimbrook {

// The system's continuous clock (CLOCK_BOOTTIME on Linux). Thread-safe.
ContinuousClock::time_point continuousNow();

} // namespace nimbrook

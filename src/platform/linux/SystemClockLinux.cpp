#include "platform/SystemClock.h"

#include <ctime>

namespace nimbrook {

ContinuousClock::time_point continuousNow() {
    // CLOCK_BOOTTIME keeps counting while suspended, unlike CLOCK_MONOTONIC; it
    // cannot fail for a valid clock id and pointer.
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    const auto sinceBoot = std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
    return ContinuousClock::time_point(sinceBoot);
}

} // namespace nimbrook

#pragma once

#include "platform/NetworkTypes.h"

#include <functional>
#include <memory>

namespace nimbrook {

// A running network path monitor. Destroying the handle cancels it.
class PathMonitor {
public:
    virtual ~PathMonitor() = default;
    // No update starts after this returns. Idempotent.
    virtual void cancel() = 0;
};

// Watching the system's network path: interfaces, their kinds, default gateways.
class PathMonitoring {
public:
    virtual ~PathMonitoring() = default;

    // Starts a monitor that calls `onUpdate` on the network thread with the
    // current path soon after starting, then after every change. The handler must
    // not touch main-thread state. Never fails here: a monitor that cannot read
    // the system's path reports an unsatisfied path with no interfaces.
    virtual std::unique_ptr<PathMonitor>
    start(std::function<void(const NetworkPath&)> onUpdate) = 0;
};

} // namespace nimbrook

#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace nimbrook {

// A monotonic clock that keeps counting while the computer sleeps, so that "how
// long has this poll been running" stays true across a suspend.
struct ContinuousClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<ContinuousClock>;
    static constexpr bool is_steady = true;
};

// A repeating timer. Destroying the handle stops the timer.
class RepeatingTimer {
public:
    virtual ~RepeatingTimer() = default;
    // Stops the timer; no callback starts after this returns. Idempotent.
    virtual void invalidate() = 0;
};

// Time and the main thread: the clock, main-thread tasks and repeating timers.
// Everything the discovery logic does on the main thread goes through here, so
// tests can run it in virtual time.
class Scheduler {
public:
    virtual ~Scheduler() = default;

    // Current instant of the continuous clock. Callable from any thread.
    virtual ContinuousClock::time_point now() const = 0;

    // Queues `task` to run on the main thread after everything queued before it;
    // never runs it inline. Callable from any thread. Tasks still queued when the
    // scheduler is destroyed are dropped.
    virtual void post(std::function<void()> task) = 0;

    // Starts a timer on the main thread that calls `onTick` every `interval`, the
    // first time one interval from now. Call from the main thread.
    virtual std::unique_ptr<RepeatingTimer> startRepeating(std::chrono::milliseconds interval,
                                                           std::function<void()> onTick) = 0;
};

} // namespace nimbrook

#pragma once

#include "platform/Scheduler.h"

#include <cstdint>
#include <map>
#include <memory>
#include <utility>

namespace nimbrook::testing {

// A Scheduler in virtual time. Posted tasks and timer ticks are events on one
// timeline; nothing runs until the test advances it, and then everything due
// runs in time order (ties in the order they were queued).
class FakeScheduler final : public Scheduler {
public:
    ContinuousClock::time_point now() const override { return now_; }
    void post(std::function<void()> task) override;
    std::unique_ptr<RepeatingTimer> startRepeating(std::chrono::milliseconds interval,
                                                   std::function<void()> onTick) override;

    // Runs every event due up to now + `duration`, then sets the clock there.
    void advance(std::chrono::nanoseconds duration);
    // Runs what is due now (posted tasks), including what those tasks post.
    void runPending() { advance(std::chrono::nanoseconds(0)); }
    // Runs only the earliest event, moving the clock to it. False when none.
    bool step();

    int activeTimerCount() const;
    std::size_t queuedEventCount() const { return events_.size(); }

private:
    struct TimerState {
        std::chrono::milliseconds interval;
        std::function<void()> onTick;
        bool active = true;
    };
    class Timer;
    struct Event {
        std::function<void()> task;        // a posted task, or
        std::shared_ptr<TimerState> timer; // a timer tick
    };
    using EventKey = std::pair<ContinuousClock::time_point, std::uint64_t>;

    void schedule(ContinuousClock::time_point due, Event event);
    void run(std::map<EventKey, Event>::iterator it);

    ContinuousClock::time_point now_{std::chrono::hours(1)};
    std::uint64_t sequence_ = 0;
    std::map<EventKey, Event> events_;
    std::vector<std::weak_ptr<TimerState>> timers_;
};

} // namespace nimbrook::testing

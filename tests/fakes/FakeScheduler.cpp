#include "FakeScheduler.h"

namespace nimbrook::testing {

class FakeScheduler::Timer final : public RepeatingTimer {
public:
    explicit Timer(std::shared_ptr<TimerState> state)
        : state_(std::move(state)) {}
    ~Timer() override { invalidate(); }
    void invalidate() override { state_->active = false; }

private:
    std::shared_ptr<TimerState> state_;
};

void FakeScheduler::post(std::function<void()> task) {
    schedule(now_, Event{std::move(task), {}});
}

std::unique_ptr<RepeatingTimer> FakeScheduler::startRepeating(std::chrono::milliseconds interval,
                                                              std::function<void()> onTick) {
    auto state = std::make_shared<TimerState>(TimerState{interval, std::move(onTick), true});
    timers_.push_back(state);
    schedule(now_ + interval, Event{{}, state});
    return std::make_unique<Timer>(std::move(state));
}

void FakeScheduler::schedule(ContinuousClock::time_point due, Event event) {
    events_.emplace(EventKey{due, sequence_++}, std::move(event));
}

void FakeScheduler::run(std::map<EventKey, Event>::iterator it) {
    now_ = std::max(now_, it->first.first);
    Event event = std::move(it->second);
    events_.erase(it);
    if (event.task) {
        event.task();
        return;
    }
    if (!event.timer->active)
        return;
    // Queue the next tick before running this one, as a real timer would.
    schedule(now_ + event.timer->interval, Event{{}, event.timer});
    event.timer->onTick();
}

void FakeScheduler::advance(std::chrono::nanoseconds duration) {
    const auto target = now_ + duration;
    while (!events_.empty() && events_.begin()->first.first <= target)
        run(events_.begin());
    now_ = target;
}

bool FakeScheduler::step() {
    if (events_.empty())
        return false;
    run(events_.begin());
    return true;
}

int FakeScheduler::activeTimerCount() const {
    int count = 0;
    for (const auto& weak : timers_) {
        if (const auto timer = weak.lock(); timer && timer->active)
            ++count;
    }
    return count;
}

} // namespace nimbrook::testing

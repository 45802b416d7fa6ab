#pragma once

#include "platform/Scheduler.h"

#include <QObject>

#include <deque>
#include <mutex>

namespace nimbrook {

// The Scheduler on the Qt event loop of the thread that creates it (the main
// thread). Tasks run in order from one queue, in slices of a few milliseconds:
// a burst of them (a browser reporting a hundred services at once) yields to
// timers and input between slices instead of holding the thread until the
// last one is done. Timers are precise QTimers.
class QtScheduler final : public Scheduler {
public:
    QtScheduler();
    ~QtScheduler() override;

    ContinuousClock::time_point now() const override;
    void post(std::function<void()> task) override;
    std::unique_ptr<RepeatingTimer> startRepeating(std::chrono::milliseconds interval,
                                                   std::function<void()> onTick) override;

    static constexpr auto slice = std::chrono::milliseconds(8);

private:
    void drain();

    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
    bool drainQueued_ = false;
    // Lives on the main thread; drains are delivered to it, and die with it.
    QObject context_;
};

} // namespace nimbrook

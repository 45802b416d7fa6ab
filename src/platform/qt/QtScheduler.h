#pragma once

#include "platform/Scheduler.h"

#include <QObject>

namespace nimbrook {

// The Scheduler on the Qt event loop of the thread that creates it (the main
// thread). Tasks are queued events; timers are precise QTimers.
class QtScheduler final : public Scheduler {
public:
    QtScheduler();
    ~QtScheduler() override;

    ContinuousClock::time_point now() const override;
    void post(std::function<void()> task) override;
    std::unique_ptr<RepeatingTimer> startRepeating(std::chrono::milliseconds interval,
                                                   std::function<void()> onTick) override;

private:
    // Lives on the main thread; queued tasks are delivered to it, and die with it.
    QObject context_;
};

} // namespace nimbrook

#include "platform/qt/QtScheduler.h"

#include "platform/SystemClock.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QTimer>

namespace nimbrook {

namespace {

class QtRepeatingTimer final : public RepeatingTimer {
public:
    QtRepeatingTimer(std::chrono::milliseconds interval, std::function<void()> onTick) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(interval);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, std::move(onTick));
        timer_.start();
    }

    void invalidate() override { timer_.stop(); }

private:
    QTimer timer_;
};

} // namespace

QtScheduler::QtScheduler() = default;
QtScheduler::~QtScheduler() = default;

ContinuousClock::time_point QtScheduler::now() const {
    return continuousNow();
}

void QtScheduler::post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        if (drainQueued_)
            return;
        drainQueued_ = true;
    }
    QMetaObject::invokeMethod(
        &context_, [this] { drain(); }, Qt::QueuedConnection);
}

void QtScheduler::drain() {
    QElapsedTimer elapsed;
    elapsed.start();
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty()) {
                drainQueued_ = false;
                return;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
        if (elapsed.elapsed() >= slice.count()) {
            // Through the timer queue, so due timers (and input) run first.
            QTimer::singleShot(0, &context_, [this] { drain(); });
            return;
        }
    }
}

std::unique_ptr<RepeatingTimer> QtScheduler::startRepeating(std::chrono::milliseconds interval,
                                                            std::function<void()> onTick) {
    return std::make_unique<QtRepeatingTimer>(interval, std::move(onTick));
}

} // namespace nimbrook

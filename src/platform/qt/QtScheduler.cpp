#include "platform/qt/QtScheduler.h"

#include "platform/SystemClock.h"

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
    QMetaObject::invokeMethod(&context_, std::move(task), Qt::QueuedConnection);
}

std::unique_ptr<RepeatingTimer> QtScheduler::startRepeating(std::chrono::milliseconds interval,
                                                            std::function<void()> onTick) {
    return std::make_unique<QtRepeatingTimer>(interval, std::move(onTick));
}

} // namespace nimbrook

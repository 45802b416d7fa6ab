#include "platform/qt/QtScheduler.h"

#include "TestHelpers.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <thread>

namespace nimbrook {
namespace {

using namespace std::chrono_literals;

using testing::waitFor;

TEST(QtSchedulerTest, PostedTasksRunLaterInOrderOnTheMainThread) {
    QtScheduler scheduler;
    std::vector<int> order;
    scheduler.post([&] { order.push_back(1); });
    scheduler.post([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty()); // never inline

    QThread* ranOn = nullptr;
    std::thread worker([&] { scheduler.post([&] { ranOn = QThread::currentThread(); }); });
    worker.join();

    ASSERT_TRUE(waitFor([&] { return ranOn != nullptr; }));
    EXPECT_EQ(order, (std::vector{1, 2}));
    EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
}

TEST(QtSchedulerTest, ABurstOfTasksLetsTimersRunInBetween) {
    QtScheduler scheduler;
    std::vector<int> order;
    int ticksDuringBurst = 0;
    constexpr int burst = 40;
    for (int i = 0; i < burst; ++i) {
        scheduler.post([&, i] {
            order.push_back(i);
            std::this_thread::sleep_for(2ms);
        });
    }
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (order.size() < burst)
            ++ticksDuringBurst;
    });
    tick.start();
    ASSERT_TRUE(waitFor([&] { return order.size() == burst; }));
    EXPECT_GT(ticksDuringBurst, 0); // the timer was not held off for the whole 80 ms
    for (int i = 0; i < burst; ++i)
        EXPECT_EQ(order[i], i);
}

TEST(QtSchedulerTest, TasksQueuedForADestroyedSchedulerAreDropped) {
    bool ran = false;
    {
        QtScheduler scheduler;
        scheduler.post([&] { ran = true; });
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
}

TEST(QtSchedulerTest, ARepeatingTimerRepeatsUntilInvalidatedOrReleased) {
    QtScheduler scheduler;
    int ticks = 0;
    int released = 0;
    auto timer = scheduler.startRepeating(5ms, [&] { ++ticks; });
    scheduler.startRepeating(1ms, [&] { ++released; }).reset();
    ASSERT_TRUE(waitFor([&] { return ticks >= 3; }));
    timer->invalidate();
    const int afterInvalidate = ticks;
    waitFor([] { return false; }, 100ms); // let would-be ticks come
    EXPECT_EQ(ticks, afterInvalidate);
    EXPECT_EQ(released, 0);
}

} // namespace
} // namespace nimbrook

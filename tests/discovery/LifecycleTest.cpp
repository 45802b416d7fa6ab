#include "DiscoveryFixture.h"

namespace nimbrook::testing {
namespace {

using Published = Discovery::Published;

class LifecycleTest : public DiscoveryFixture {};

TEST_F(LifecycleTest, CreationStartsNothing) {
    EXPECT_FALSE(discovery->hasStarted());
    EXPECT_EQ(discovery->tailscaleState(), TailscaleState::searching);
    EXPECT_FALSE(discovery->isPolling());
    EXPECT_TRUE(discovery->macs().isEmpty());
    EXPECT_EQ(browsing.createdCount(), 0);
    EXPECT_EQ(paths.createdCount(), 0);
    EXPECT_EQ(scheduler.activeTimerCount(), 0);
    scheduler.advance(60s);
    EXPECT_EQ(browsing.createdCount(), 0);
}

TEST_F(LifecycleTest, StartCreatesOneBrowserMonitorAndTimer) {
    discovery->start();
    EXPECT_TRUE(discovery->hasStarted());
    EXPECT_EQ(browsing.createdCount(), 1);
    EXPECT_EQ(browsing.latest().serviceType, QStringLiteral("_rfb._tcp"));
    EXPECT_EQ(paths.createdCount(), 1);
    EXPECT_EQ(scheduler.activeTimerCount(), 1);
    EXPECT_EQ(discovery->browserGeneration(), 1);

    discovery->start();
    scheduler.runPending();
    EXPECT_EQ(browsing.createdCount(), 1);
    EXPECT_EQ(paths.createdCount(), 1);
    EXPECT_EQ(scheduler.activeTimerCount(), 1);
    EXPECT_EQ(discovery->browserGeneration(), 1);
}

TEST_F(LifecycleTest, ADroppedBrowserIsRestartedAtTheFirstTickExactlyFiveSecondsAfterStart) {
    discovery->start();
    browsing.latest().reportState(BrowserState::failed);
    scheduler.runPending();
    ASSERT_FALSE(discovery->hasBrowser());

    scheduler.advance(4999ms);
    EXPECT_EQ(browsing.createdCount(), 1);
    scheduler.advance(1ms);
    EXPECT_EQ(browsing.createdCount(), 2);
    EXPECT_TRUE(discovery->hasBrowser());
    EXPECT_FALSE(browsing.browser(1).cancelled);
}

TEST_F(LifecycleTest, TicksRepeatEveryFiveSeconds) {
    discovery->start();
    for (int tick = 1; tick <= 3; ++tick) {
        browsing.latest().reportState(BrowserState::failed);
        scheduler.advance(4999ms);
        EXPECT_EQ(browsing.createdCount(), tick);
        scheduler.advance(1ms);
        EXPECT_EQ(browsing.createdCount(), tick + 1);
    }
}

TEST_F(LifecycleTest, ATickQueuedBeforeStopDoesNotRestartBrowsing) {
    discovery->start();
    browsing.latest().reportState(BrowserState::failed);
    scheduler.advance(4999ms);
    ASSERT_FALSE(discovery->hasBrowser());

    // The timer fires and queues its tick task; stop() runs before the task.
    ASSERT_TRUE(scheduler.step());
    ASSERT_EQ(scheduler.queuedEventCount(), 2u); // the tick task and the next tick
    discovery->stop();
    scheduler.runPending();
    EXPECT_EQ(browsing.createdCount(), 1);
    EXPECT_FALSE(discovery->hasBrowser());

    scheduler.advance(30s);
    EXPECT_EQ(browsing.createdCount(), 1);
}

TEST_F(LifecycleTest, StopTearsDownEverythingItStarted) {
    discovery->start();
    discovery->stop();
    EXPECT_FALSE(discovery->hasStarted());
    EXPECT_FALSE(discovery->hasBrowser());
    EXPECT_FALSE(discovery->hasPathMonitor());
    EXPECT_FALSE(discovery->hasPollTimer());
    EXPECT_TRUE(browsing.latest().cancelled);
    EXPECT_TRUE(paths.latest().cancelled);
    EXPECT_EQ(scheduler.activeTimerCount(), 0);
    EXPECT_FALSE(discovery->isPolling());
}

TEST_F(LifecycleTest, StopOnAnIdleObjectAdvancesTheGenerationAndRepublishes) {
    discovery->stop();
    EXPECT_FALSE(discovery->hasStarted());
    EXPECT_EQ(discovery->browserGeneration(), 1);
    EXPECT_EQ(takeNotifications(), (std::vector{Published::macs, Published::isPolling}));

    // Unchanged values still notify on every assignment.
    discovery->stop();
    EXPECT_EQ(discovery->browserGeneration(), 2);
    EXPECT_EQ(takeNotifications(), (std::vector{Published::macs, Published::isPolling}));
}

TEST_F(LifecycleTest, RestartGivesAFreshBrowserGenerationAndDropsTheOldBrowsersReports) {
    discovery->start();
    auto& first = browsing.browser(0);
    discovery->stop();
    discovery->start();
    ASSERT_EQ(browsing.createdCount(), 2);
    EXPECT_EQ(discovery->browserGeneration(), 3); // start, forget in stop, start

    // The old browser fails late: the new one stays.
    first.reportState(BrowserState::failed);
    scheduler.runPending();
    EXPECT_TRUE(discovery->hasBrowser());
    EXPECT_FALSE(browsing.latest().cancelled);
    EXPECT_EQ(paths.createdCount(), 2);
    EXPECT_EQ(scheduler.activeTimerCount(), 1);
}

TEST_F(LifecycleTest, ACancelledReportFromAReplacedBrowserDoesNothing) {
    discovery->start();
    discovery->startBonjour(); // replaces (and so cancels) the first browser
    ASSERT_TRUE(browsing.browser(0).cancelled);
    takeNotifications();
    scheduler.runPending();
    EXPECT_TRUE(discovery->hasBrowser());
    EXPECT_FALSE(browsing.browser(1).cancelled);
    EXPECT_TRUE(takeNotifications().empty());
}

TEST_F(LifecycleTest, ForgetLeavesTheBrowserAndStartBonjourLeavesTheTables) {
    discovery->start();
    discovery->forgetBonjourResults();
    EXPECT_TRUE(discovery->hasBrowser());
    EXPECT_FALSE(browsing.latest().cancelled);
    EXPECT_EQ(discovery->browserGeneration(), 2);
    takeNotifications();
    discovery->startBonjour();
    EXPECT_EQ(discovery->browserGeneration(), 3);
    EXPECT_TRUE(takeNotifications().empty());
}

TEST_F(LifecycleTest, QueuedWorkForADestroyedDiscoveryDoesNothing) {
    discovery->start();
    auto& browser = browsing.latest();
    auto& monitor = paths.latest();
    scheduler.advance(4999ms);
    ASSERT_TRUE(scheduler.step()); // a tick task is now queued
    discovery.reset();
    // Reports arriving from the network thread after destruction are dropped too.
    browser.reportState(BrowserState::failed);
    monitor.report(NetworkPath{});
    scheduler.advance(30s);
    EXPECT_EQ(browsing.createdCount(), 1);
    EXPECT_EQ(scheduler.activeTimerCount(), 0);
}

} // namespace
} // namespace nimbrook::testing

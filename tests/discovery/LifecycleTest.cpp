#include "DiscoveryFixture.h"

#include <QPointer>

namespace nimbrook::testing {
namespace {

class LifecycleTest : public DiscoveryFixture {};

TEST_F(LifecycleTest, CreationStartsNothing) {
    EXPECT_FALSE(discovery->hasStarted());
    EXPECT_EQ(discovery->tailscaleState(), TailscaleState::searching);
    EXPECT_FALSE(discovery->isPolling());
    EXPECT_TRUE(discovery->macs().isEmpty());
    scheduler.advance(60s);
    EXPECT_EQ(browsing.createdCount(), 0);
    EXPECT_EQ(paths.createdCount(), 0);
    EXPECT_EQ(scheduler.activeTimerCount(), 0);
    EXPECT_EQ(tools.runCount(), 0);
}

TEST_F(LifecycleTest, StartCreatesOneBrowserMonitorAndTimerOnce) {
    for (int i = 0; i < 2; ++i) {
        discovery->start();
        scheduler.runPending();
        EXPECT_TRUE(discovery->hasStarted());
        EXPECT_EQ(browsing.createdCount(), 1);
        EXPECT_EQ(browsing.latest().serviceType, QStringLiteral("_rfb._tcp"));
        EXPECT_EQ(paths.createdCount(), 1);
        EXPECT_EQ(scheduler.activeTimerCount(), 1);
    }
}

TEST_F(LifecycleTest, AFailedBrowserIsReplacedAtEachTickEveryFiveSeconds) {
    discovery->start();
    for (int tick = 1; tick <= 3; ++tick) {
        browsing.latest().reportState(BrowserState::failed);
        scheduler.advance(4999ms);
        EXPECT_EQ(browsing.liveCount(), 0);
        EXPECT_EQ(browsing.createdCount(), tick);
        scheduler.advance(1ms);
        EXPECT_EQ(browsing.createdCount(), tick + 1);
        EXPECT_EQ(browsing.liveCount(), 1);
    }
}

TEST_F(LifecycleTest, ATickQueuedBeforeStopDoesNotRestartBrowsing) {
    discovery->start();
    browsing.latest().reportState(BrowserState::failed);
    scheduler.advance(4999ms);

    // The timer fires and queues its tick task; stop() runs before the task.
    ASSERT_TRUE(scheduler.step());
    ASSERT_EQ(scheduler.queuedEventCount(), 2u); // the tick task and the next tick
    discovery->stop();
    scheduler.advance(30s);
    EXPECT_EQ(browsing.createdCount(), 1);
}

TEST_F(LifecycleTest, StopTearsDownEverythingAndPublishesOnlyWhatChanged) {
    installTool();
    discovery->stop();
    EXPECT_TRUE(takeNotifications().empty());

    discovery->start();
    EXPECT_EQ(takeNotifications(), std::vector{Published::isPolling});
    discovery->stop();
    EXPECT_FALSE(discovery->hasStarted());
    EXPECT_TRUE(browsing.latest().cancelled);
    EXPECT_TRUE(paths.latest().cancelled);
    EXPECT_EQ(scheduler.activeTimerCount(), 0);
    EXPECT_FALSE(discovery->isPolling());
    // The list was empty and stays so: only the poll's end is news.
    EXPECT_EQ(takeNotifications(), std::vector{Published::isPolling});
}

TEST_F(LifecycleTest, ReportsOfAReplacedBrowserChangeNothing) {
    discovery->start();
    auto& first = browsing.browser(0);
    discovery->stop();
    discovery->start();
    discovery->refresh(); // replaces (and so cancels) the second
    ASSERT_EQ(browsing.createdCount(), 3);
    scheduler.runPending();
    takeNotifications();

    first.reportState(BrowserState::failed);
    browsing.browser(1).reportState(BrowserState::cancelled);
    scheduler.runPending();
    EXPECT_EQ(browsing.liveCount(), 1);
    EXPECT_FALSE(browsing.latest().cancelled);
    EXPECT_TRUE(takeNotifications().empty());
    EXPECT_EQ(paths.createdCount(), 2);
    EXPECT_EQ(scheduler.activeTimerCount(), 1);
}

TEST_F(LifecycleTest, QueuedWorkForADestroyedDiscoveryDoesNothing) {
    installTool();
    discovery->start();
    auto& browser = browsing.latest();
    auto& monitor = paths.latest();
    scheduler.advance(4999ms);
    ASSERT_TRUE(scheduler.step()); // a tick task is now queued
    QPointer<Discovery> watcher(discovery.get());
    discovery.reset();
    EXPECT_TRUE(watcher.isNull()); // not kept alive by its poll
    // Reports arriving from other threads after destruction are dropped too.
    browser.reportState(BrowserState::failed);
    monitor.report(NetworkPath{});
    tools.latest().finish(R"({"Peer":{}})");
    scheduler.advance(30s);
    EXPECT_EQ(browsing.createdCount(), 1);
    EXPECT_EQ(scheduler.activeTimerCount(), 0);
}

const NetworkInterface wifi{QStringLiteral("wlan0"), InterfaceType::wifi};
const NetworkInterface ethernet{QStringLiteral("enp3s0"), InterfaceType::wiredEthernet};
const NetworkInterface vpn{QStringLiteral("tailscale0"), InterfaceType::other};
const NetworkInterface loopback{QStringLiteral("lo"), InterfaceType::loopback};

class PathWatchTest : public DiscoveryFixture {
protected:
    void report(PathStatus status, QList<NetworkInterface> interfaces, QStringList gateways) {
        paths.latest().report(NetworkPath{status, std::move(interfaces), std::move(gateways)});
        scheduler.runPending();
    }
    void reportHome() {
        report(PathStatus::satisfied, {loopback, wifi}, {QStringLiteral("192.168.1.1")});
    }
};

TEST_F(PathWatchTest, TheFirstPathAndTheSamePathInAnotherOrderRestartNothing) {
    discovery->start();
    reportHome();
    report(PathStatus::satisfied, {wifi, loopback}, {QStringLiteral("192.168.1.1")});
    // A VPN coming up is not the local network.
    report(PathStatus::satisfied, {wifi, vpn, loopback}, {QStringLiteral("192.168.1.1")});
    EXPECT_EQ(browsing.createdCount(), 1);
    EXPECT_FALSE(browsing.latest().cancelled);
}

TEST_F(PathWatchTest, EveryChangeForgetsLocalMachinesAndBrowsesAgain) {
    discovery->start();
    reportHome();
    browsing.latest().reportResults(
        {{QStringLiteral("Studio"), QStringLiteral("_rfb._tcp"), QStringLiteral("local"), {}}});
    scheduler.runPending();
    connecting.latest().report(ConnectionState::ready,
                               HostEndpoint{HostEndpoint::Kind::ipv4, "192.168.1.20", 5900});
    scheduler.runPending();
    ASSERT_EQ(discovery->macs().size(), 1);
    takeNotifications();

    report(PathStatus::satisfied, {loopback, wifi}, {QStringLiteral("10.0.0.1")});
    EXPECT_EQ(browsing.createdCount(), 2);
    EXPECT_TRUE(browsing.browser(0).cancelled);
    EXPECT_TRUE(discovery->macs().isEmpty());
    EXPECT_EQ(takeNotifications(), std::vector{Published::macs});

    report(PathStatus::satisfied, {loopback, wifi, ethernet}, {QStringLiteral("10.0.0.1")});
    EXPECT_EQ(browsing.createdCount(), 3);
    report(PathStatus::unsatisfied, {loopback}, {});
    EXPECT_EQ(browsing.createdCount(), 4);
    report(PathStatus::requiresConnection, {loopback}, {});
    EXPECT_EQ(browsing.createdCount(), 5);
    reportHome(); // flipping back is a change too
    EXPECT_EQ(browsing.createdCount(), 6);
}

TEST_F(PathWatchTest, UpdatesWhileStoppedAreIgnoredAndARestartOnlyRecordsTheFirstPath) {
    discovery->start();
    auto& monitor = paths.latest();
    reportHome();
    discovery->stop();
    monitor.report(NetworkPath{PathStatus::unsatisfied, {}, {}});
    scheduler.runPending();
    EXPECT_EQ(browsing.createdCount(), 1);

    discovery->start();
    report(PathStatus::satisfied, {ethernet}, {QStringLiteral("10.0.0.1")});
    EXPECT_EQ(browsing.createdCount(), 2);
    EXPECT_FALSE(browsing.latest().cancelled);
}

} // namespace
} // namespace nimbrook::testing

#include "DiscoveryFixture.h"

namespace nimbrook::testing {
namespace {

NetworkPath path(PathStatus status, QList<NetworkInterface> interfaces, QStringList gateways) {
    return NetworkPath{status, std::move(interfaces), std::move(gateways)};
}

const NetworkInterface wifi{QStringLiteral("wlan0"), InterfaceType::wifi};
const NetworkInterface ethernet{QStringLiteral("enp3s0"), InterfaceType::wiredEthernet};
const NetworkInterface vpn{QStringLiteral("tailscale0"), InterfaceType::other};
const NetworkInterface loopback{QStringLiteral("lo"), InterfaceType::loopback};

TEST(PathSignatureTest, KeepsOnlyLanInterfacesInInputOrder) {
    EXPECT_TRUE(Discovery::lanInterfaceNames({}).isEmpty());
    EXPECT_EQ(Discovery::lanInterfaceNames({vpn, wifi, loopback, ethernet}),
              (QStringList{QStringLiteral("wlan0"), QStringLiteral("enp3s0")}));
}

TEST(PathSignatureTest, IsIndependentOfInterfaceAndGatewayOrder) {
    const QString a = Discovery::pathSignature(
        PathStatus::satisfied, {QStringLiteral("wlan0"), QStringLiteral("enp3s0")},
        {QStringLiteral("192.168.1.1"), QStringLiteral("fe80::1%wlan0")});
    const QString b = Discovery::pathSignature(
        PathStatus::satisfied, {QStringLiteral("enp3s0"), QStringLiteral("wlan0")},
        {QStringLiteral("fe80::1%wlan0"), QStringLiteral("192.168.1.1")});
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, QStringLiteral("satisfied|enp3s0,wlan0|192.168.1.1,fe80::1%wlan0"));
}

TEST(PathSignatureTest, EmptyListsGiveEmptyFields) {
    EXPECT_EQ(Discovery::pathSignature(PathStatus::unsatisfied, {}, {}),
              QStringLiteral("unsatisfied||"));
    EXPECT_NE(Discovery::pathSignature(PathStatus::satisfied, {}, {}),
              Discovery::pathSignature(PathStatus::requiresConnection, {}, {}));
}

class PathWatchTest : public DiscoveryFixture {
protected:
    void report(const NetworkPath& update) {
        paths.latest().report(update);
        scheduler.runPending();
    }
    const NetworkPath home =
        path(PathStatus::satisfied, {loopback, wifi}, {QStringLiteral("192.168.1.1")});
};

TEST_F(PathWatchTest, TheFirstPathIsOnlyRecorded) {
    discovery->start();
    report(home);
    EXPECT_EQ(discovery->lastPathSignature(), QStringLiteral("satisfied|wlan0|192.168.1.1"));
    EXPECT_EQ(browsing.createdCount(), 1);
    EXPECT_EQ(discovery->browserGeneration(), 1);
}

TEST_F(PathWatchTest, TheSamePathInAnotherOrderRestartsNothing) {
    discovery->start();
    report(home);
    report(path(PathStatus::satisfied, {wifi, loopback}, {QStringLiteral("192.168.1.1")}));
    // A VPN coming up is not the local network.
    report(path(PathStatus::satisfied, {wifi, vpn, loopback}, {QStringLiteral("192.168.1.1")}));
    EXPECT_EQ(browsing.createdCount(), 1);
    EXPECT_EQ(discovery->browserGeneration(), 1);
}

TEST_F(PathWatchTest, EveryChangeForgetsAndRebrowses) {
    discovery->start();
    report(home);
    takeNotifications();

    report(path(PathStatus::satisfied, {loopback, wifi}, {QStringLiteral("10.0.0.1")}));
    EXPECT_EQ(browsing.createdCount(), 2);
    EXPECT_TRUE(browsing.browser(0).cancelled);
    EXPECT_EQ(discovery->browserGeneration(), 3); // forget, then a new browser
    EXPECT_EQ(takeNotifications(), std::vector{Discovery::Published::macs});

    report(path(PathStatus::satisfied, {loopback, wifi, ethernet}, {QStringLiteral("10.0.0.1")}));
    EXPECT_EQ(browsing.createdCount(), 3);
    report(path(PathStatus::unsatisfied, {loopback}, {}));
    EXPECT_EQ(browsing.createdCount(), 4);
    report(home); // flipping back is a change too
    EXPECT_EQ(browsing.createdCount(), 5);
}

TEST_F(PathWatchTest, UpdatesWhileStoppedChangeNothing) {
    discovery->start();
    auto& monitor = paths.latest();
    report(home);
    discovery->stop();
    EXPECT_FALSE(discovery->lastPathSignature());

    monitor.report(path(PathStatus::unsatisfied, {}, {}));
    scheduler.runPending();
    EXPECT_FALSE(discovery->lastPathSignature());
    EXPECT_EQ(browsing.createdCount(), 1);
}

TEST_F(PathWatchTest, AfterARestartTheFirstPathIsOnlyRecordedAgain) {
    discovery->start();
    report(home);
    discovery->stop();
    discovery->start();
    const auto generation = discovery->browserGeneration();
    report(path(PathStatus::satisfied, {ethernet}, {QStringLiteral("10.0.0.1")}));
    EXPECT_EQ(discovery->browserGeneration(), generation);
    EXPECT_EQ(browsing.createdCount(), 2);
}

} // namespace
} // namespace nimbrook::testing

#include "DiscoveryFixture.h"

namespace nimbrook::testing {
namespace {

ServiceEndpoint service(const QString& name) {
    return ServiceEndpoint{
        name, QStringLiteral("_rfb._tcp"), QStringLiteral("local"), {{2, IpProtocol::ipv4}}};
}

const HostEndpoint v4{HostEndpoint::Kind::ipv4, QStringLiteral("192.168.1.20"), 5900};
const HostEndpoint v6{HostEndpoint::Kind::ipv6, QStringLiteral("fe80::1c2b:3aff:fe4d:5e6f%eth0"),
                      5901};

class ResolutionTest : public DiscoveryFixture {
protected:
    ResolutionTest() { discovery->start(); }
    void browse(const QList<ServiceEndpoint>& results) {
        browsing.latest().reportResults(results);
        scheduler.runPending();
    }
};

TEST_F(ResolutionTest, AnIPv4ServiceTakesOneProbe) {
    browse({service(QStringLiteral("Studio"))});
    ASSERT_EQ(connecting.createdCount(), 1);
    EXPECT_EQ(connecting.latest().ipVersion, IpProtocol::ipv4);
    EXPECT_EQ(connecting.latest().timeout, std::chrono::seconds(5));
    connecting.latest().report(ConnectionState::preparing);
    connecting.latest().report(ConnectionState::ready, v4);
    scheduler.runPending();
    EXPECT_EQ(connecting.createdCount(), 1);
    EXPECT_TRUE(connecting.latest().cancelled); // the probe is closed at once
    EXPECT_EQ(discovery->viaBonjour().value(QStringLiteral("Studio")).address,
              QStringLiteral("192.168.1.20"));
}

TEST_F(ResolutionTest, AnIPv6OnlyServiceIsFoundByTheSecondProbe) {
    browse({service(QStringLiteral("Studio"))});
    connecting.latest().report(ConnectionState::failed);
    ASSERT_EQ(connecting.createdCount(), 2);
    EXPECT_EQ(connecting.latest().ipVersion, std::nullopt);
    connecting.latest().report(ConnectionState::ready, v6);
    scheduler.runPending();
    EXPECT_EQ(discovery->viaBonjour().value(QStringLiteral("Studio")).address,
              QStringLiteral("[fe80::1c2b:3aff:fe4d:5e6f%25eth0]:5901"));
}

TEST_F(ResolutionTest, WaitingEndsAnAttemptWithNothingAndLaterStatesChangeNothing) {
    browse({service(QStringLiteral("Studio"))});
    auto& first = connecting.connection(0);
    first.report(ConnectionState::waiting);
    ASSERT_EQ(connecting.createdCount(), 2);
    first.report(ConnectionState::ready, v4); // too late
    connecting.latest().report(ConnectionState::waiting);
    connecting.latest().report(ConnectionState::ready, v4);
    scheduler.runPending();
    EXPECT_EQ(connecting.createdCount(), 2);
    EXPECT_FALSE(discovery->viaBonjour().contains(QStringLiteral("Studio")));
    EXPECT_FALSE(discovery->resolving().contains(QStringLiteral("Studio")));
    EXPECT_TRUE(connecting.connection(0).cancelled);
    EXPECT_TRUE(connecting.connection(1).cancelled);

    // Tried again at the next tick.
    scheduler.advance(5s);
    EXPECT_EQ(connecting.createdCount(), 3);
}

TEST_F(ResolutionTest, ANameInFlightIsNotProbedTwice) {
    browse({service(QStringLiteral("Studio"))});
    browse({service(QStringLiteral("Studio"))});
    scheduler.advance(5s);
    EXPECT_EQ(connecting.createdCount(), 1);
}

TEST_F(ResolutionTest, AResolvedNameIsNotProbedAgain) {
    browse({service(QStringLiteral("Studio"))});
    connecting.latest().report(ConnectionState::ready, v4);
    scheduler.runPending();
    ServiceEndpoint moved = service(QStringLiteral("Studio"));
    moved.sightings = {{7, IpProtocol::ipv6}};
    browse({moved});
    scheduler.advance(15s);
    EXPECT_EQ(connecting.createdCount(), 1);
    EXPECT_EQ(discovery->viaBonjour().value(QStringLiteral("Studio")).address,
              QStringLiteral("192.168.1.20"));
}

TEST_F(ResolutionTest, AServiceWithdrawnDuringItsProbeGetsNoRecord) {
    browse({service(QStringLiteral("Studio"))});
    browse({});
    connecting.latest().report(ConnectionState::ready, v4);
    scheduler.runPending();
    EXPECT_TRUE(discovery->viaBonjour().isEmpty());
    EXPECT_TRUE(discovery->resolving().isEmpty());
}

TEST_F(ResolutionTest, AProbeOfAnOlderGenerationChangesNothing) {
    browse({service(QStringLiteral("Studio"))});
    auto& stale = connecting.latest();
    discovery->forgetBonjourResults();
    discovery->startBonjour();
    browse({service(QStringLiteral("Studio"))});
    ASSERT_EQ(connecting.createdCount(), 2);
    ASSERT_TRUE(discovery->resolving().contains(QStringLiteral("Studio")));

    stale.report(ConnectionState::ready, v4);
    scheduler.runPending();
    EXPECT_TRUE(discovery->viaBonjour().isEmpty());
    EXPECT_TRUE(discovery->resolving().contains(QStringLiteral("Studio")));
}

TEST_F(ResolutionTest, TheRecordKeepsTheServiceNameExactly) {
    const QString name = QStringLiteral("Jane\u2019s <b>Mac</b>");
    browse({service(name)});
    connecting.latest().report(ConnectionState::ready, v4);
    scheduler.runPending();
    const RemoteMac mac = discovery->viaBonjour().value(name);
    EXPECT_EQ(mac.id, QStringLiteral("bonjour:") + name);
    EXPECT_EQ(mac.name, name);
    EXPECT_EQ(mac.identity, QStringLiteral("janes-b-mac-b"));
}

} // namespace
} // namespace nimbrook::testing

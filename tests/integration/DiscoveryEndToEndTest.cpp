#include "NetEnv.h"

#include "discovery/Discovery.h"
#include "platform/linux/LinuxNetwork.h"
#include "platform/qt/QtScheduler.h"

#include "FakeTools.h"

namespace nimbrook::testing {
namespace {

using namespace std::chrono_literals;

const RemoteMac* find(const QList<RemoteMac>& macs, const QString& name) {
    for (const RemoteMac& mac : macs) {
        if (mac.name == name)
            return &mac;
    }
    return nullptr;
}

TEST(DiscoveryEndToEndTest, PeersOnTheLocalNetworkAreListedByAnAddressViewersOpen) {
    NIMBROOK_REQUIRE_NETENV();
    QtScheduler scheduler;
    LinuxNetwork network;
    FakeToolRunner tools;
    FakeFileSystem files; // no Tailscale here
    FakeUserDefaults defaults;
    FakeUrlOpener urls;
    Discovery discovery(DiscoveryPlatform{scheduler, network.serviceBrowsing(),
                                          network.pathMonitoring(), tools, files, defaults,
                                          network.connecting(), network.localNames(), urls});

    auto peer = std::make_unique<Peer>(QStringLiteral("Kim\u2019s Mac mini"), 5915);
    discovery.start();
    EXPECT_EQ(discovery.tailscaleState(), TailscaleState::notInstalled);
    ASSERT_TRUE(
        waitFor([&] { return find(discovery.macs(), QStringLiteral("Kim\u2019s Mac mini")); }));
    const RemoteMac mac = *find(discovery.macs(), QStringLiteral("Kim\u2019s Mac mini"));
    EXPECT_EQ(mac.address, peerAddress() + QStringLiteral(":5915"));
    EXPECT_EQ(mac.identity, QStringLiteral("kims-mac-mini"));
    EXPECT_EQ(mac.source, RemoteMac::Source::bonjour);

    discovery.connect(mac);
    ASSERT_EQ(urls.opened.size(), 1);
    EXPECT_EQ(urls.opened.first().toString(),
              QStringLiteral("vnc://") + peerAddress() + QStringLiteral(":5915"));

    // The stock peers, when the network has them: an address every viewer opens,
    // for the IPv6-only one its unique-local address rather than its link-local one.
    if (qEnvironmentVariable("NIMBROOK_STOCK_PEERS") == QStringLiteral("1")) {
        ASSERT_TRUE(waitFor([&] {
            return find(discovery.macs(), dualStackPeer()) &&
                   find(discovery.macs(), ipv6OnlyPeer());
        }));
        EXPECT_EQ(find(discovery.macs(), dualStackPeer())->address, dualStackPeerAddress());
        const RemoteMac* v6 = find(discovery.macs(), ipv6OnlyPeer());
        EXPECT_EQ(v6->address, u'[' + ipv6OnlyPeerAddress() + u']');
        discovery.connect(*v6);
        ASSERT_EQ(urls.opened.size(), 2);
        EXPECT_EQ(urls.opened.last().host(), ipv6OnlyPeerAddress());
    }

    peer.reset();
    EXPECT_TRUE(
        waitFor([&] { return !find(discovery.macs(), QStringLiteral("Kim\u2019s Mac mini")); }));
    discovery.stop();
}

} // namespace
} // namespace nimbrook::testing

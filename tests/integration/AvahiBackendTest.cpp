#include "NetEnv.h"

#include "discovery/Discovery.h"
#include "platform/Connecting.h"
#include "platform/LocalNames.h"
#include "platform/ServiceBrowsing.h"
#include "platform/linux/LinuxNetwork.h"

#include <QProcess>
#include <QScopeGuard>

#include <mutex>

namespace nimbrook::testing {
namespace {

using namespace std::chrono_literals;

// What a browser has told us, read from the main thread.
struct BrowserLog {
    std::mutex mutex;
    QList<ServiceEndpoint> results;
    QList<BrowserState> states;

    ServiceBrowsing::Handlers handlers() {
        return {[this](BrowserState state) {
                    std::lock_guard lock(mutex);
                    states.append(state);
                },
                [this](const QList<ServiceEndpoint>& current) {
                    std::lock_guard lock(mutex);
                    results = current;
                }};
    }
    std::optional<ServiceEndpoint> find(const QString& name) {
        std::lock_guard lock(mutex);
        for (const ServiceEndpoint& endpoint : std::as_const(results)) {
            if (endpoint.name == name)
                return endpoint;
        }
        return std::nullopt;
    }
    // Waits until the service named `name` is listed, or with `present` false,
    // no longer listed.
    bool waitForService(const QString& name, bool present = true,
                        std::chrono::milliseconds limit = std::chrono::seconds(8)) {
        return waitFor([&] { return find(name).has_value() == present; }, limit);
    }
    bool saw(BrowserState state) {
        std::lock_guard lock(mutex);
        return states.contains(state);
    }
};

struct ProbeLog {
    std::mutex mutex;
    std::vector<std::pair<ConnectionState, std::optional<HostEndpoint>>> states;

    Connecting::StateHandler handler() {
        return [this](ConnectionState state, const std::optional<HostEndpoint>& remote) {
            std::lock_guard lock(mutex);
            states.emplace_back(state, remote);
        };
    }
    std::optional<std::pair<ConnectionState, std::optional<HostEndpoint>>> decisive() {
        std::lock_guard lock(mutex);
        for (const auto& entry : states) {
            if (entry.first != ConnectionState::setup && entry.first != ConnectionState::preparing)
                return entry;
        }
        return std::nullopt;
    }
};

[[nodiscard]] ::testing::AssertionResult restartAvahi() {
    QProcess restart;
    restart.start(QStringLiteral(NIMBROOK_TEST_ENV_DIR "/netenv.sh"),
                  {QStringLiteral("restart-avahi")});
    if (!restart.waitForFinished(20000))
        return ::testing::AssertionFailure() << "avahi-daemon did not restart within 20 s";
    if (restart.exitCode() != 0)
        return ::testing::AssertionFailure() << restart.readAllStandardError().toStdString();
    return ::testing::AssertionSuccess();
}

TEST(AvahiBackendTest, ABrowserSeesAPeerArriveAndLeaveAndTheDaemonNamesThisComputer) {
    NIMBROOK_REQUIRE_NETENV();
    BrowserLog log; // outlives the network, which reports to it until it stops
    LinuxNetwork network;
    auto browser = network.serviceBrowsing().browse(QStringLiteral("_rfb._tcp"), log.handlers());
    {
        Peer peer(QStringLiteral("Integration Studio"), 5911);
        ASSERT_TRUE(log.waitForService(QStringLiteral("Integration Studio")));
        const ServiceEndpoint endpoint = *log.find(QStringLiteral("Integration Studio"));
        EXPECT_EQ(endpoint.type, QStringLiteral("_rfb._tcp"));
        EXPECT_EQ(endpoint.domain, QStringLiteral("local"));
        ASSERT_FALSE(endpoint.sightings.isEmpty());
        EXPECT_GT(endpoint.sightings.front().interfaceIndex, 0);
        EXPECT_TRUE(log.saw(BrowserState::ready));
        // The daemon, connected by now, tells this computer's name.
        EXPECT_EQ(network.localNames().localHostName(), QStringLiteral("nimbrook-test"));
    }
    EXPECT_TRUE(log.waitForService(QStringLiteral("Integration Studio"), false));

    browser->cancel();
    EXPECT_TRUE(waitFor([&] { return log.saw(BrowserState::cancelled); }, 2s));
}

TEST(AvahiBackendTest, AProbeReportsTheAddressConnectedTo) {
    NIMBROOK_REQUIRE_NETENV();
    BrowserLog browserLog;
    ProbeLog reachable;
    ProbeLog refused;
    LinuxNetwork network;
    auto browser =
        network.serviceBrowsing().browse(QStringLiteral("_rfb._tcp"), browserLog.handlers());
    Peer listening(QStringLiteral("Probe Target"), 5912);
    Peer silent(QStringLiteral("Nobody Home"), 5913, false);
    ASSERT_TRUE(browserLog.waitForService(QStringLiteral("Probe Target")));
    ASSERT_TRUE(browserLog.waitForService(QStringLiteral("Nobody Home")));

    auto first = network.connecting().connect(*browserLog.find(QStringLiteral("Probe Target")),
                                              IpProtocol::ipv4, 5s, reachable.handler());
    ASSERT_TRUE(waitFor([&] { return reachable.decisive().has_value(); }, 7s));
    const auto outcome = *reachable.decisive();
    ASSERT_EQ(outcome.first, ConnectionState::ready);
    ASSERT_TRUE(outcome.second);
    EXPECT_EQ(*outcome.second, (HostEndpoint{HostEndpoint::Kind::ipv4, peerAddress(), 5912}));
    EXPECT_EQ(Discovery::urlHost(*outcome.second), peerAddress() + QStringLiteral(":5912"));

    // Refused at once: no need to wait for the time limit.
    QElapsedTimer elapsed;
    elapsed.start();
    auto second = network.connecting().connect(*browserLog.find(QStringLiteral("Nobody Home")),
                                               IpProtocol::ipv4, 5s, refused.handler());
    ASSERT_TRUE(waitFor([&] { return refused.decisive().has_value(); }, 7s));
    EXPECT_EQ(refused.decisive()->first, ConnectionState::failed);
    EXPECT_LT(elapsed.elapsed(), 4000);
}

TEST(AvahiBackendTest, ServicesOfOneSilentHostShareOneAttemptAndFailWithIt) {
    NIMBROOK_REQUIRE_NETENV();
    BrowserLog browserLog;
    LinuxNetwork network;
    auto browser =
        network.serviceBrowsing().browse(QStringLiteral("_rfb._tcp"), browserLog.handlers());
    // Three services at an address on the link that nobody holds.
    const QString silentAddress = peerAddress().section(u'.', 0, 2) + QStringLiteral(".99");
    QProcess crowd;
    crowd.start(QStringLiteral("ip"),
                {QStringLiteral("netns"), QStringLiteral("exec"), peerNamespace(),
                 QStringLiteral("/usr/bin/python3"),
                 QStringLiteral(NIMBROOK_TEST_ENV_DIR "/crowd_peer.py"), QStringLiteral("Silent"),
                 peerAddress(), silentAddress, QStringLiteral("0"), QStringLiteral("0"),
                 QStringLiteral("3")});
    ASSERT_TRUE(crowd.waitForReadyRead(20000));
    const auto cleanup = qScopeGuard([&] {
        crowd.terminate();
        crowd.waitForFinished(10000);
    });
    std::vector<ServiceEndpoint> services;
    for (int i = 0; i < 3; ++i) {
        const QString name = QStringLiteral("Silent Unanswered %1").arg(i);
        ASSERT_TRUE(browserLog.waitForService(name));
        services.push_back(*browserLog.find(name));
    }

    QElapsedTimer elapsed;
    elapsed.start();
    ProbeLog logs[4];
    std::vector<std::unique_ptr<Connection>> probes;
    for (int i = 0; i < 3; ++i)
        probes.push_back(
            network.connecting().connect(services[i], IpProtocol::ipv4, 4s, logs[i].handler()));
    // One attempt reaches the host; the others give up once it has kept them
    // waiting, long before the time limit.
    ASSERT_TRUE(waitFor([&] { return logs[1].decisive() && logs[2].decisive(); }, 3s));
    EXPECT_LT(elapsed.elapsed(), 2500);
    EXPECT_FALSE(logs[0].decisive());
    ASSERT_TRUE(waitFor([&] { return logs[0].decisive().has_value(); }, 6s));
    EXPECT_EQ(logs[0].decisive()->first, ConnectionState::failed);

    // Known not to answer: the next attempt fails at once.
    elapsed.restart();
    probes.push_back(
        network.connecting().connect(services[0], IpProtocol::ipv4, 4s, logs[3].handler()));
    ASSERT_TRUE(waitFor([&] { return logs[3].decisive().has_value(); }, 5s));
    EXPECT_EQ(logs[3].decisive()->first, ConnectionState::failed);
    EXPECT_LT(elapsed.elapsed(), 1500);
}

TEST(AvahiBackendTest, ABrowserEmptiesWhenTheDaemonGoesAndRefillsWhenItReturns) {
    NIMBROOK_REQUIRE_NETENV();
    BrowserLog log;
    LinuxNetwork network;
    auto browser = network.serviceBrowsing().browse(QStringLiteral("_rfb._tcp"), log.handlers());
    Peer peer(QStringLiteral("Survivor"), 5914);
    ASSERT_TRUE(log.waitForService(QStringLiteral("Survivor")));

    // No REMOVE events come from a dead daemon: the browser must drop what it
    // had and wait, then browse again by itself.
    ASSERT_TRUE(restartAvahi());
    EXPECT_TRUE(log.saw(BrowserState::waiting));
    EXPECT_FALSE(log.saw(BrowserState::failed));
    EXPECT_TRUE(log.waitForService(QStringLiteral("Survivor"), true, 15s));
}

TEST(AvahiBackendTest, AStockDualStackPeerIsOneServiceSeenOverBothProtocols) {
    NIMBROOK_REQUIRE_STOCK_PEERS();
    BrowserLog log; // the logs outlive the network, which reports to them until it stops
    ProbeLog probe;
    LinuxNetwork network;
    auto browser = network.serviceBrowsing().browse(QStringLiteral("_rfb._tcp"), log.handlers());
    ASSERT_TRUE(waitFor([&] {
        const auto endpoint = log.find(dualStackPeer());
        return endpoint && endpoint->sightings.size() == 2;
    }));
    const QList<ServiceSighting> sightings = log.find(dualStackPeer())->sightings;
    EXPECT_EQ(sightings[0].interfaceIndex, sightings[1].interfaceIndex);
    EXPECT_NE(sightings[0].protocol, sightings[1].protocol);

    // Asked over IPv4 even through its IPv6 sighting alone: the address is the
    // peer's IPv4 address, not its link-local IPv6 one.
    ServiceEndpoint overIpv6 = *log.find(dualStackPeer());
    overIpv6.sightings = {sightings[0].protocol == IpProtocol::ipv6 ? sightings[0] : sightings[1]};
    auto connection = network.connecting().connect(overIpv6, IpProtocol::ipv4, 5s, probe.handler());
    ASSERT_TRUE(waitFor([&] { return probe.decisive().has_value(); }, 7s));
    ASSERT_EQ(probe.decisive()->first, ConnectionState::ready);
    EXPECT_EQ(probe.decisive()->second->host, dualStackPeerAddress());
}

} // namespace
} // namespace nimbrook::testing

#include "DiscoveryFixture.h"
#include "TestHelpers.h"

namespace nimbrook::testing {
namespace {

ServiceEndpoint service(const QString& name, int interfaceIndex = 2,
                        IpProtocol protocol = IpProtocol::ipv4) {
    return ServiceEndpoint{
        name, QStringLiteral("_rfb._tcp"), QStringLiteral("local"), {{interfaceIndex, protocol}}};
}

const HostEndpoint v4{HostEndpoint::Kind::ipv4, QStringLiteral("192.168.1.20"), 5900};
const HostEndpoint v6{HostEndpoint::Kind::ipv6, QStringLiteral("fe80::1c2b:3aff:fe4d:5e6f%eth0"),
                      5901};

class LocalNetworkTest : public DiscoveryFixture {
protected:
    LocalNetworkTest() { discovery->start(); }
    void browse(const QList<ServiceEndpoint>& results) {
        browsing.latest().reportResults(results);
        scheduler.runPending();
    }
    // Answers the newest probe to `name`; fails when there is none.
    [[nodiscard]] ::testing::AssertionResult
    answer(const QString& name, ConnectionState state,
           std::optional<HostEndpoint> remote = std::nullopt) {
        const auto probes = connecting.to(name);
        if (probes.empty())
            return ::testing::AssertionFailure() << "no probe to " << name.toStdString();
        probes.back()->report(state, remote);
        scheduler.runPending();
        return ::testing::AssertionSuccess();
    }
    bool probed(const QString& name) { return !connecting.to(name).empty(); }
    QStringList names() const { return namesOf(discovery->macs()); }
};

TEST_F(LocalNetworkTest, AServiceBecomesAMachineOnceOneProbeFindsItsAddress) {
    const QString name = QStringLiteral("Jane\u2019s <b>Mac</b>");
    browse({service(name)});
    EXPECT_TRUE(discovery->macs().isEmpty()); // not before its address is known
    EXPECT_TRUE(discovery->isResolving());
    ASSERT_EQ(connecting.createdCount(), 1);
    EXPECT_EQ(connecting.latest().ipVersion, IpProtocol::ipv4);
    EXPECT_EQ(connecting.latest().timeout, std::chrono::seconds(5));

    ASSERT_TRUE(answer(name, ConnectionState::preparing));
    ASSERT_TRUE(answer(name, ConnectionState::ready, v4));
    EXPECT_EQ(connecting.createdCount(), 1);
    EXPECT_TRUE(connecting.latest().cancelled); // the probe is closed at once
    EXPECT_FALSE(discovery->isResolving());
    EXPECT_EQ(
        discovery->macs(),
        (QList<RemoteMac>{{QStringLiteral("bonjour:") + name, QStringLiteral("janes-b-mac-b"), name,
                           QStringLiteral("192.168.1.20"), true, RemoteMac::Source::bonjour}}));
}

TEST_F(LocalNetworkTest, AnIPv6OnlyServiceIsFoundByTheSecondProbe) {
    browse({service(QStringLiteral("Studio"))});
    ASSERT_TRUE(answer(QStringLiteral("Studio"), ConnectionState::failed));
    ASSERT_EQ(connecting.createdCount(), 2);
    EXPECT_EQ(connecting.latest().ipVersion, std::nullopt);
    ASSERT_TRUE(answer(QStringLiteral("Studio"), ConnectionState::ready, v6));
    ASSERT_EQ(discovery->macs().size(), 1);
    EXPECT_EQ(discovery->macs()[0].address,
              QStringLiteral("[fe80::1c2b:3aff:fe4d:5e6f%25eth0]:5901"));
}

TEST_F(LocalNetworkTest, WaitingEndsAnAttemptWithNothingAndTheNextTickTriesAgain) {
    browse({service(QStringLiteral("Studio"))});
    auto& first = connecting.connection(0);
    first.report(ConnectionState::waiting);
    ASSERT_EQ(connecting.createdCount(), 2);
    first.report(ConnectionState::ready, v4); // too late
    ASSERT_TRUE(answer(QStringLiteral("Studio"), ConnectionState::waiting));
    ASSERT_TRUE(answer(QStringLiteral("Studio"), ConnectionState::ready, v4));
    EXPECT_EQ(connecting.createdCount(), 2);
    EXPECT_TRUE(discovery->macs().isEmpty());
    EXPECT_FALSE(discovery->isResolving());
    EXPECT_TRUE(connecting.connection(0).cancelled);
    EXPECT_TRUE(connecting.connection(1).cancelled);

    scheduler.advance(5s);
    EXPECT_EQ(connecting.createdCount(), 3);
}

TEST_F(LocalNetworkTest, ANameIsProbedOnceWhileInFlightAndNeverOnceResolved) {
    browse({service(QStringLiteral("Studio")), service(QStringLiteral("Lab"))});
    browse({service(QStringLiteral("Studio")), service(QStringLiteral("Lab"))});
    scheduler.advance(5s);
    EXPECT_EQ(connecting.createdCount(), 2);

    ASSERT_TRUE(answer(QStringLiteral("Studio"), ConnectionState::ready, v4));
    browse(
        {service(QStringLiteral("Studio"), 7, IpProtocol::ipv6), service(QStringLiteral("Lab"))});
    scheduler.advance(15s);
    EXPECT_EQ(connecting.to(QStringLiteral("Studio")).size(), 1u);
    EXPECT_EQ(names(), QStringList{QStringLiteral("Studio")});
}

TEST_F(LocalNetworkTest, TheFirstSightingOfANameWins) {
    browse({service(QStringLiteral("Studio"), 3),
            service(QStringLiteral("Studio"), 2, IpProtocol::ipv6)});
    ASSERT_EQ(connecting.createdCount(), 1);
    EXPECT_EQ(connecting.latest().service.sightings,
              (QList<ServiceSighting>{{3, IpProtocol::ipv4}}));
}

TEST_F(LocalNetworkTest, ThisComputerIsLeftOutButANamelessServiceIsNotTakenForIt) {
    localNames.hostName = QStringLiteral("Guests-Laptop");
    localNames.computer = QStringLiteral("Jane\u2019s Mac");
    browse({service(QStringLiteral("Guest\u2019s Laptop")), service(QStringLiteral("Jane's Mac")),
            service(QStringLiteral("Studio"))});
    EXPECT_EQ(connecting.createdCount(), 1);
    EXPECT_TRUE(probed(QStringLiteral("Studio")));

    localNames.hostName.reset();
    localNames.computer = QStringLiteral("!!!");
    browse({service(QStringLiteral("!!!"))});
    EXPECT_TRUE(probed(QStringLiteral("!!!")));
}

TEST_F(LocalNetworkTest, NamesOfOneIdentityAreAllDroppedWithTheirRecords) {
    browse({service(QStringLiteral("Studio")), service(QStringLiteral("Lab"))});
    ASSERT_TRUE(answer(QStringLiteral("Studio"), ConnectionState::ready, v4));
    ASSERT_EQ(names(), QStringList{QStringLiteral("Studio")});

    browse({service(QStringLiteral("Studio")), service(QStringLiteral("STUDIO")),
            service(QStringLiteral("Lab")), service(QStringLiteral("???")),
            service(QStringLiteral("!!!")), service(QStringLiteral("Caf\u00e9 Mac")),
            service(QStringLiteral("cafe-mac")), service(QStringLiteral("Kim\u2019s Mac")),
            service(QStringLiteral("Kims Mac"))});
    EXPECT_TRUE(discovery->macs().isEmpty());
    ASSERT_TRUE(answer(QStringLiteral("Lab"), ConnectionState::ready, v4));
    EXPECT_EQ(names(), QStringList{QStringLiteral("Lab")});
    EXPECT_EQ(connecting.createdCount(), 2);
}

TEST_F(LocalNetworkTest, AWithdrawnServiceLeavesAtOnceAlsoDuringItsProbe) {
    browse({service(QStringLiteral("Studio")), service(QStringLiteral("Lab"))});
    ASSERT_TRUE(answer(QStringLiteral("Studio"), ConnectionState::ready, v4));
    browse({service(QStringLiteral("Lab"))});
    EXPECT_TRUE(discovery->macs().isEmpty());

    browse({});
    ASSERT_TRUE(answer(QStringLiteral("Lab"), ConnectionState::ready, v4));
    EXPECT_TRUE(discovery->macs().isEmpty());
    EXPECT_FALSE(discovery->isResolving());
}

TEST_F(LocalNetworkTest, ResultsAndProbesOfAnEarlierBrowsingAreDropped) {
    auto& old = browsing.latest();
    browse({service(QStringLiteral("Studio"))});
    auto& staleProbe = connecting.latest();
    discovery->refresh();
    browse({service(QStringLiteral("Studio"))});
    ASSERT_EQ(connecting.createdCount(), 2);

    old.reportResults({service(QStringLiteral("Lab"))});
    staleProbe.report(ConnectionState::ready, v4);
    scheduler.runPending();
    EXPECT_TRUE(discovery->macs().isEmpty());
    EXPECT_TRUE(discovery->isResolving());
    EXPECT_FALSE(probed(QStringLiteral("Lab")));
}

TEST_F(LocalNetworkTest, ABrowserFailureDropsAllLocalMachinesAtOnce) {
    browse({service(QStringLiteral("Studio"))});
    ASSERT_TRUE(answer(QStringLiteral("Studio"), ConnectionState::ready, v4));
    ASSERT_EQ(discovery->macs().size(), 1);

    // A browser that waits, or says it is ready, stays as it is.
    browsing.latest().reportState(BrowserState::waiting);
    browsing.latest().reportState(BrowserState::ready);
    scheduler.runPending();
    EXPECT_EQ(discovery->macs().size(), 1);
    EXPECT_EQ(browsing.liveCount(), 1);

    scheduler.advance(2s);
    browsing.latest().reportState(BrowserState::failed);
    scheduler.runPending();
    EXPECT_EQ(browsing.liveCount(), 0);
    EXPECT_TRUE(discovery->macs().isEmpty());
    // What the next tick's browser finds is probed afresh.
    scheduler.advance(3s);
    browse({service(QStringLiteral("Studio"))});
    EXPECT_EQ(connecting.createdCount(), 2);
}

class CrowdedLinkTest : public LocalNetworkTest {
protected:
    // Both attempts of the newest lookup of `name` find nothing.
    void fail(const QString& name) {
        ASSERT_TRUE(answer(name, ConnectionState::failed));
        ASSERT_TRUE(answer(name, ConnectionState::failed));
    }
    int lookups(const QString& name) {
        // Two connections a lookup: IPv4, then any IP version.
        return int((connecting.to(name).size() + 1) / 2);
    }
    int inFlight() {
        int live = 0;
        for (int i = 0; i < connecting.createdCount(); ++i)
            live += connecting.connection(i).cancelled ? 0 : 1;
        return live;
    }
};

TEST_F(CrowdedLinkTest, LookupsAreBoundedAndNewNamesGoBeforeRetries) {
    QList<ServiceEndpoint> crowd;
    for (int i = 0; i < Discovery::maxProbesInFlight + 8; ++i)
        crowd.append(service(QStringLiteral("Mac %1").arg(i)));
    browse(crowd);
    EXPECT_EQ(inFlight(), Discovery::maxProbesInFlight);
    EXPECT_FALSE(probed(QStringLiteral("Mac %1").arg(Discovery::maxProbesInFlight)));

    // A slot that frees up goes to the next new name, even once a retry is due.
    ASSERT_NO_FATAL_FAILURE(fail(QStringLiteral("Mac 0")));
    EXPECT_TRUE(probed(QStringLiteral("Mac %1").arg(Discovery::maxProbesInFlight)));
    scheduler.advance(5s);
    ASSERT_NO_FATAL_FAILURE(fail(QStringLiteral("Mac 1")));
    EXPECT_EQ(lookups(QStringLiteral("Mac 0")), 1);
    EXPECT_TRUE(probed(QStringLiteral("Mac %1").arg(Discovery::maxProbesInFlight + 1)));

    // With every name looked up once, due retries take the free slots.
    for (int i = 2; i < 9; ++i)
        ASSERT_NO_FATAL_FAILURE(fail(QStringLiteral("Mac %1").arg(i)));
    EXPECT_EQ(lookups(QStringLiteral("Mac 0")), 2);
    EXPECT_EQ(inFlight(), Discovery::maxProbesInFlight);
}

TEST_F(CrowdedLinkTest, FailingNamesAreRetriedLessOftenUntilAnnouncedAgainOrRefreshed) {
    const QString name = QStringLiteral("Asleep");
    browse({service(name)});
    // Seconds from a failure to the next lookup.
    std::vector<int> gaps;
    for (int lookup = 0; lookup < 7; ++lookup) {
        ASSERT_NO_FATAL_FAILURE(fail(name));
        const int before = lookups(name);
        int waited = 0;
        while (lookups(name) == before && waited < 300) {
            scheduler.advance(1s);
            ++waited;
        }
        gaps.push_back(waited);
    }
    // Each at the first tick on or after it is due.
    EXPECT_EQ(gaps, (std::vector<int>{5, 10, 20, 40, 80, 120, 120}));

    // Withdrawn: its lookup ends at once. Announced again: looked up at once.
    browse({});
    EXPECT_EQ(inFlight(), 0);
    ASSERT_NO_FATAL_FAILURE(fail(name)); // too late: changes nothing
    browse({service(name)});
    EXPECT_EQ(inFlight(), 1);
    ASSERT_NO_FATAL_FAILURE(fail(name));
    ASSERT_NO_FATAL_FAILURE(fail(name)); // stale
    scheduler.advance(5s);
    const int beforeRefresh = lookups(name);
    ASSERT_NO_FATAL_FAILURE(fail(name));
    discovery->refresh();
    browse({service(name)});
    EXPECT_EQ(lookups(name), beforeRefresh + 1);
}

} // namespace
} // namespace nimbrook::testing

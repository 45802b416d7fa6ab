#include "DiscoveryFixture.h"

namespace nimbrook::testing {
namespace {

ServiceEndpoint service(const QString& name, int interfaceIndex = 2,
                        IpProtocol protocol = IpProtocol::ipv4) {
    return ServiceEndpoint{
        name, QStringLiteral("_rfb._tcp"), QStringLiteral("local"), {{interfaceIndex, protocol}}};
}

const HostEndpoint lanAddress{HostEndpoint::Kind::ipv4, QStringLiteral("192.168.1.20"), 5900};

class BonjourBrowsingTest : public DiscoveryFixture {
protected:
    void browse(const QList<ServiceEndpoint>& results) {
        browsing.latest().reportResults(results);
        scheduler.runPending();
    }
    // Answers the newest probe to `name` with `remote`, or with `waiting`.
    void answer(const QString& name, std::optional<HostEndpoint> remote) {
        auto probes = connecting.to(name);
        ASSERT_FALSE(probes.empty()) << name.toStdString();
        if (remote)
            probes.back()->report(ConnectionState::ready, remote);
        else
            probes.back()->report(ConnectionState::waiting);
        scheduler.runPending();
    }
    QStringList advertisedNames() const {
        QStringList names = discovery->bonjourEndpoints().keys();
        names.sort();
        return names;
    }
};

TEST_F(BonjourBrowsingTest, AResolvedServiceIsPublishedAsALocalMachine) {
    discovery->start();
    browse({service(QStringLiteral("Studio"))});
    EXPECT_TRUE(discovery->macs().isEmpty()); // not before its address is known
    EXPECT_TRUE(discovery->resolving().contains(QStringLiteral("Studio")));

    answer(QStringLiteral("Studio"), lanAddress);
    ASSERT_EQ(discovery->macs().size(), 1);
    EXPECT_EQ(discovery->macs()[0],
              (RemoteMac{QStringLiteral("bonjour:Studio"), QStringLiteral("studio"),
                         QStringLiteral("Studio"), QStringLiteral("192.168.1.20"), true,
                         RemoteMac::Source::bonjour}));
    EXPECT_TRUE(discovery->resolving().isEmpty());
}

TEST_F(BonjourBrowsingTest, TheFirstResultWithANameWins) {
    discovery->start();
    browse({service(QStringLiteral("Studio"), 3),
            service(QStringLiteral("Studio"), 2, IpProtocol::ipv6)});
    EXPECT_EQ(discovery->bonjourEndpoints().value(QStringLiteral("Studio")).sightings,
              (QList<ServiceSighting>{{3, IpProtocol::ipv4}}));
}

TEST_F(BonjourBrowsingTest, ThisComputerIsLeftOut) {
    localNames.hostName = QStringLiteral("Guests-Laptop");
    localNames.computer = QStringLiteral("Jane\u2019s Mac");
    discovery->start();
    browse({service(QStringLiteral("Guest\u2019s Laptop")), service(QStringLiteral("Jane's Mac")),
            service(QStringLiteral("Studio"))});
    EXPECT_EQ(advertisedNames(), QStringList{QStringLiteral("Studio")});
}

TEST_F(BonjourBrowsingTest, LocalIdentitiesNeverHoldTheEmptyIdentity) {
    localNames.hostName = QStringLiteral("Guests-Laptop");
    localNames.computer = QStringLiteral("Guest\u2019s Laptop");
    EXPECT_EQ(Discovery::localIdentities(localNames),
              QSet<QString>{QStringLiteral("guests-laptop")});
    localNames.computer = QStringLiteral("!!!");
    localNames.hostName.reset();
    EXPECT_TRUE(Discovery::localIdentities(localNames).isEmpty());

    // So a nameless service is never taken for this computer.
    discovery->start();
    browse({service(QStringLiteral("!!!"))});
    EXPECT_EQ(advertisedNames(), QStringList{QStringLiteral("!!!")});
}

TEST_F(BonjourBrowsingTest, CollidingNamesAreAllDroppedWithTheirRecords) {
    discovery->start();
    browse({service(QStringLiteral("Studio")), service(QStringLiteral("Lab"))});
    answer(QStringLiteral("Studio"), lanAddress);
    ASSERT_TRUE(discovery->viaBonjour().contains(QStringLiteral("Studio")));

    browse({service(QStringLiteral("Studio")), service(QStringLiteral("STUDIO")),
            service(QStringLiteral("Lab")), service(QStringLiteral("???")),
            service(QStringLiteral("!!!"))});
    EXPECT_EQ(advertisedNames(), QStringList{QStringLiteral("Lab")});
    EXPECT_TRUE(discovery->viaBonjour().isEmpty());
    EXPECT_TRUE(discovery->macs().isEmpty());

    EXPECT_EQ(Discovery::collidingBonjourNames(
                  {QStringLiteral("Caf\u00e9 Mac"), QStringLiteral("cafe-mac"),
                   QStringLiteral("Kim\u2019s Mac"), QStringLiteral("Kims Mac"),
                   QStringLiteral("Other")}),
              (QSet<QString>{QStringLiteral("Caf\u00e9 Mac"), QStringLiteral("cafe-mac"),
                             QStringLiteral("Kim\u2019s Mac"), QStringLiteral("Kims Mac")}));
}

TEST_F(BonjourBrowsingTest, AWithdrawnServiceLeavesBothTablesAtOnce) {
    discovery->start();
    browse({service(QStringLiteral("Studio")), service(QStringLiteral("Lab"))});
    answer(QStringLiteral("Studio"), lanAddress);
    browse({service(QStringLiteral("Lab"))});
    EXPECT_EQ(advertisedNames(), QStringList{QStringLiteral("Lab")});
    EXPECT_FALSE(discovery->viaBonjour().contains(QStringLiteral("Studio")));
    EXPECT_TRUE(discovery->macs().isEmpty());

    browse({});
    EXPECT_TRUE(discovery->bonjourEndpoints().isEmpty());
}

TEST_F(BonjourBrowsingTest, ResultsOfAnOlderBrowserAreDropped) {
    discovery->start();
    auto& old = browsing.latest();
    discovery->forgetBonjourResults();
    discovery->startBonjour();
    browse({service(QStringLiteral("Lab"))});
    old.reportResults({service(QStringLiteral("Studio"))});
    scheduler.runPending();
    EXPECT_EQ(advertisedNames(), QStringList{QStringLiteral("Lab")});
}

TEST_F(BonjourBrowsingTest, ABrowserFailureDropsAllLocalMachinesAndANewBrowserStartsWithinATick) {
    discovery->start();
    browse({service(QStringLiteral("Studio"))});
    answer(QStringLiteral("Studio"), lanAddress);
    ASSERT_EQ(discovery->macs().size(), 1);

    // A browser that waits, or says it is ready, stays as it is.
    browsing.latest().reportState(BrowserState::waiting);
    browsing.latest().reportState(BrowserState::ready);
    scheduler.runPending();
    EXPECT_EQ(discovery->macs().size(), 1);
    EXPECT_TRUE(discovery->hasBrowser());

    scheduler.advance(2s);
    browsing.latest().reportState(BrowserState::failed);
    scheduler.runPending();
    EXPECT_FALSE(discovery->hasBrowser());
    EXPECT_TRUE(discovery->macs().isEmpty());
    EXPECT_TRUE(discovery->bonjourEndpoints().isEmpty());
    EXPECT_EQ(browsing.createdCount(), 1);
    scheduler.advance(3s);
    EXPECT_EQ(browsing.createdCount(), 2);
}

TEST_F(BonjourBrowsingTest, ANetworkChangeDropsLocalMachinesAndBrowsesAgain) {
    discovery->start();
    paths.latest().report(NetworkPath{PathStatus::satisfied, {}, {QStringLiteral("192.168.1.1")}});
    browse({service(QStringLiteral("Studio"))});
    answer(QStringLiteral("Studio"), lanAddress);
    paths.latest().report(NetworkPath{PathStatus::satisfied, {}, {QStringLiteral("10.0.0.1")}});
    scheduler.runPending();
    EXPECT_TRUE(discovery->macs().isEmpty());
    EXPECT_EQ(browsing.createdCount(), 2);
}

} // namespace
} // namespace nimbrook::testing

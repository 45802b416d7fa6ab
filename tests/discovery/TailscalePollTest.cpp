#include "DiscoveryFixture.h"
#include "TestHelpers.h"

namespace nimbrook::testing {
namespace {

const QString tool = QStringLiteral("/usr/bin/tailscale");

// A report of (DNS name, host name, online) peers.
QByteArray report(const QList<std::tuple<const char*, const char*, bool>>& macs,
                  const char* state = "Running") {
    QStringList names;
    QStringList dnsNames;
    QList<bool> online;
    for (const auto& [dns, host, isOnline] : macs) {
        dnsNames.append(QString::fromUtf8(dns));
        names.append(QString::fromUtf8(host));
        online.append(isOnline);
    }
    return statusReport(names, state, online, dnsNames);
}

class TailscalePollTest : public DiscoveryFixture {
protected:
    TailscalePollTest() { files.executables = {tool}; }

    // Finishes a run as the worker thread would, then lets the main thread apply it.
    void finish(int run, const QByteArray& output) {
        tools.runAt(run).finish(output);
        scheduler.runPending();
    }
};

TEST_F(TailscalePollTest, APollIsUnderWayAtOnceAfterStart) {
    discovery->start();
    EXPECT_TRUE(discovery->isPolling());
    ASSERT_EQ(tools.runCount(), 1);
    EXPECT_EQ(tools.latest().path, tool);
    EXPECT_EQ(tools.latest().arguments,
              (QStringList{QStringLiteral("status"), QStringLiteral("--json")}));
    EXPECT_EQ(tools.latest().timeout, std::chrono::seconds(10));
    EXPECT_EQ(tools.latest().killGrace, std::chrono::seconds(2));
    // Searching until the poll completes, however long it takes.
    scheduler.advance(29s);
    EXPECT_EQ(discovery->tailscaleState(), TailscaleState::searching);
    finish(0, QByteArray());
    EXPECT_EQ(discovery->tailscaleState(), TailscaleState::notRunning);
}

TEST_F(TailscalePollTest, ACompletedPollPublishesPollingStateThenList) {
    discovery->start();
    takeNotifications();
    finish(0, report({{"studio.ts.net.", "Studio", true}, {"mini.ts.net.", "Mini", false}}));
    EXPECT_EQ(takeNotifications(),
              (std::vector{Published::isPolling, Published::tailscaleState, Published::macs}));
    EXPECT_FALSE(discovery->isPolling());
    EXPECT_EQ(discovery->tailscaleState(), TailscaleState::ok);
    EXPECT_EQ(namesOf(discovery->macs()),
              (QStringList{QStringLiteral("Studio"), QStringLiteral("Mini")}));

    // The same report again: the poll came and went, nothing else changed.
    scheduler.advance(5s);
    finish(1, report({{"studio.ts.net.", "Studio", true}, {"mini.ts.net.", "Mini", false}}));
    EXPECT_EQ(takeNotifications(), (std::vector{Published::isPolling, Published::isPolling}));
}

TEST_F(TailscalePollTest, OnePollAtATimeAndTheNextTickAfterItPollsAgain) {
    discovery->start();
    takeNotifications();
    scheduler.advance(5s);
    scheduler.advance(5s);
    EXPECT_EQ(tools.runCount(), 1);
    EXPECT_TRUE(discovery->isPolling());
    EXPECT_TRUE(takeNotifications().empty());
    // So does Refresh from the menu.
    discovery->refreshTailscale();
    EXPECT_EQ(tools.runCount(), 1);

    // The next tick after it completes polls again.
    finish(0, report({}));
    scheduler.advance(5s);
    EXPECT_EQ(tools.runCount(), 2);
    EXPECT_TRUE(discovery->isPolling());
}

TEST_F(TailscalePollTest, AStalePollIsReplacedAndItsLateResultDropped) {
    discovery->start();
    scheduler.advance(25s);
    EXPECT_EQ(tools.runCount(), 1);
    scheduler.advance(5s); // the tick at 30 s: the first poll is 30 s old
    ASSERT_EQ(tools.runCount(), 2);
    EXPECT_TRUE(discovery->isPolling());

    takeNotifications();
    finish(0, report({{"old.ts.net.", "Old", true}}));
    EXPECT_TRUE(takeNotifications().empty());
    EXPECT_TRUE(discovery->isPolling());
    EXPECT_EQ(discovery->tailscaleState(), TailscaleState::searching);

    finish(1, report({{"new.ts.net.", "New", true}}));
    EXPECT_EQ(namesOf(discovery->macs()), QStringList{QStringLiteral("New")});
    EXPECT_FALSE(discovery->isPolling());
}

TEST_F(TailscalePollTest, NoToolMeansNotInstalledUntilATickFindsOne) {
    files.executables.clear();
    discovery->start();
    EXPECT_FALSE(discovery->isPolling());
    EXPECT_EQ(discovery->tailscaleState(), TailscaleState::notInstalled);
    EXPECT_EQ(tools.runCount(), 0);
    takeNotifications();
    // Still not installed, still nothing listed: nothing to tell.
    discovery->refreshTailscale();
    EXPECT_TRUE(takeNotifications().empty());

    // Installed later: picked up by the next tick.
    files.executables = {tool};
    scheduler.advance(4999ms);
    EXPECT_EQ(tools.runCount(), 0);
    scheduler.advance(1ms);
    EXPECT_EQ(tools.runCount(), 1);
    EXPECT_EQ(discovery->tailscaleState(),
              TailscaleState::notInstalled); // until the poll completes
    finish(0, report({}));
    EXPECT_EQ(discovery->tailscaleState(), TailscaleState::ok);
}

TEST_F(TailscalePollTest, SigningOutOrLosingTheToolRemovesTailscaleMachinesAtOnce) {
    startWith(report({{"studio.ts.net.", "Studio", true}}));
    scheduler.advance(5s);
    finish(1, report({{"studio.ts.net.", "Studio", true}}, "NeedsLogin"));
    EXPECT_EQ(discovery->tailscaleState(), TailscaleState::needsLogin);
    EXPECT_TRUE(discovery->macs().isEmpty());

    scheduler.advance(5s);
    finish(2, report({{"studio.ts.net.", "Studio", true}}));
    ASSERT_EQ(discovery->macs().size(), 1);
    files.executables.clear();
    scheduler.advance(5s);
    EXPECT_EQ(discovery->tailscaleState(), TailscaleState::notInstalled);
    EXPECT_TRUE(discovery->macs().isEmpty());
}

TEST_F(TailscalePollTest, DuplicateDnsNamesKeepTheFirstByName) {
    startWith(report({{"mac.ts.net.", "Zed", true}, {"mac.ts.net.", "Abe", true}}));
    EXPECT_EQ(namesOf(discovery->macs()), QStringList{QStringLiteral("Abe")});
}

TEST_F(TailscalePollTest, StopClearsPollingButAPollResultStillAppliesAndStays) {
    discovery->start();
    discovery->stop();
    EXPECT_FALSE(discovery->isPolling());
    finish(0, report({{"b.ts.net.", "Lab 10", false},
                      {"a.ts.net.", "lab 2", true},
                      {"c.ts.net.", "Lab 3", true}}));
    EXPECT_FALSE(discovery->isPolling());
    const QList<RemoteMac> before = discovery->macs();
    discovery->start();
    discovery->stop();
    EXPECT_EQ(discovery->macs(), before);
    EXPECT_EQ(
        namesOf(discovery->macs()),
        (QStringList{QStringLiteral("lab 2"), QStringLiteral("Lab 3"), QStringLiteral("Lab 10")}));
    EXPECT_EQ(discovery->tailscaleState(), TailscaleState::ok);
    EXPECT_FALSE(discovery->isPolling());
}

TEST_F(TailscalePollTest, AnAbandonedPollThenNoToolLeavesNotInstalledUntilTheOldResultArrives) {
    discovery->start();
    scheduler.advance(25s);
    files.executables.clear();
    scheduler.advance(5s); // at 30 s the poll is stale and no tool is found
    EXPECT_EQ(discovery->tailscaleState(), TailscaleState::notInstalled);
    EXPECT_FALSE(discovery->isPolling());

    finish(0, report({{"studio.ts.net.", "Studio", true}}));
    EXPECT_EQ(discovery->tailscaleState(), TailscaleState::ok);
    EXPECT_EQ(discovery->macs().size(), 1);
}

} // namespace
} // namespace nimbrook::testing

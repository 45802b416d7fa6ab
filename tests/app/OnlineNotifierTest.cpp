#include "app/OnlineNotifier.h"
#include "platform/Notifications.h"

#include "DiscoveryFixture.h"

namespace nimbrook::testing {
namespace {

class RecordingNotifications final : public Notifications {
public:
    void show(const QString& summary, const QString& body, const QString& actionLabel,
              const QString& tag) override {
        shown.append({summary, body, actionLabel, tag});
    }
    struct Shown {
        QString summary, body, action, tag;
    };
    QList<Shown> shown;
};

// One Tailscale peer, "Studio", online or not; absent when `present` is false.
QByteArray studio(bool online, bool present = true) {
    if (!present)
        return R"({"BackendState":"Running"})";
    return QByteArray(
               R"({"BackendState":"Running","Peer":{"s":{"DNSName":"studio.ts.net.",)"
               R"("HostName":"Studio","TailscaleIPs":["100.64.0.7"],"OS":"macOS","Online":)") +
           (online ? "true" : "false") + "}}}";
}

class OnlineNotifierTest : public DiscoveryFixture {
protected:
    OnlineNotifierTest() {
        installTool();
        defaults.lists.insert(MachinePreferences::notifyKey, {QStringLiteral("studio")});
        notifier = std::make_unique<OnlineNotifier>(
            *discovery, notifications, scheduler,
            [this](const RemoteMac& mac) { discovery->connect(mac); });
    }
    // Lets `seconds` pass in ticks, every poll answered with `output`.
    void pollFor(std::chrono::seconds seconds, const QByteArray& output) {
        for (std::chrono::milliseconds passed(0); passed < seconds;
             passed += Discovery::tickInterval) {
            scheduler.advance(Discovery::tickInterval);
            tools.latest().finish(output);
            scheduler.runPending();
        }
    }

    // Studio offline past the warm-up, then online.
    void comeOnlineAfterWarmUp() {
        startWith(studio(false));
        pollFor(std::chrono::seconds(20), studio(false));
        pollFor(std::chrono::seconds(5), studio(true));
    }

    RecordingNotifications notifications;
    std::unique_ptr<OnlineNotifier> notifier;
};

TEST_F(OnlineNotifierTest, WhatIsOnlineAtStartIsNotAnnounced) {
    startWith(studio(true));
    pollFor(std::chrono::seconds(60), studio(true));
    EXPECT_TRUE(notifications.shown.isEmpty());
}

TEST_F(OnlineNotifierTest, ComingOnlineIsAnnouncedOnceAndItsActionOpensTheMachine) {
    comeOnlineAfterWarmUp();
    ASSERT_EQ(notifications.shown.size(), 1);
    EXPECT_EQ(notifications.shown[0].summary, QStringLiteral("Studio is online"));
    EXPECT_EQ(notifications.shown[0].body, QStringLiteral("Tailscale \u00B7 100.64.0.7"));
    EXPECT_EQ(notifications.shown[0].action, QStringLiteral("Connect"));
    pollFor(std::chrono::seconds(30), studio(true));
    EXPECT_EQ(notifications.shown.size(), 1);

    emit notifications.actionInvoked(notifications.shown[0].tag);
    ASSERT_EQ(urlOpener.opened.size(), 1);
    EXPECT_EQ(urlOpener.opened[0].toString(), QStringLiteral("vnc://100.64.0.7"));
}

TEST_F(OnlineNotifierTest, AFlappingMachineIsAnnouncedAtMostOnceInFiveMinutes) {
    startWith(studio(false, false));
    pollFor(std::chrono::seconds(20), studio(false, false));
    pollFor(std::chrono::seconds(5), studio(true)); // absent to online
    ASSERT_EQ(notifications.shown.size(), 1);
    for (int flap = 0; flap < 4; ++flap) {
        pollFor(std::chrono::seconds(20), studio(false));
        pollFor(std::chrono::seconds(20), studio(true));
    }
    EXPECT_EQ(notifications.shown.size(), 1);
    pollFor(std::chrono::seconds(180), studio(false));
    pollFor(std::chrono::seconds(5), studio(true));
    EXPECT_EQ(notifications.shown.size(), 2); // more than five minutes after the first
}

TEST_F(OnlineNotifierTest, ABlipOrARestartIsNoComingOnline) {
    comeOnlineAfterWarmUp();
    ASSERT_EQ(notifications.shown.size(), 1);
    notifications.shown.clear();
    pollFor(std::chrono::seconds(5), studio(true, false)); // gone for one poll
    pollFor(std::chrono::seconds(5), studio(true));
    EXPECT_TRUE(notifications.shown.isEmpty());

    scheduler.advance(std::chrono::minutes(10));
    discovery->stop();
    startWith(studio(true)); // already online when discovery starts again
    pollFor(std::chrono::seconds(30), studio(true));
    EXPECT_TRUE(notifications.shown.isEmpty());
}

TEST_F(OnlineNotifierTest, OneMachineFromBothSourcesIsOneMachine) {
    startWith(studio(false));
    pollFor(std::chrono::seconds(20), studio(false));
    // Seen on the local network: the merged record is online.
    browsing.latest().reportResults({ServiceEndpoint{QStringLiteral("Studio"),
                                                     QStringLiteral("_rfb._tcp"),
                                                     QStringLiteral("local"),
                                                     {{2, IpProtocol::ipv4}}}});
    scheduler.runPending();
    connecting.latest().report(
        ConnectionState::ready,
        HostEndpoint{HostEndpoint::Kind::ipv4, QStringLiteral("192.168.1.9"), 5900});
    scheduler.runPending();
    ASSERT_EQ(notifications.shown.size(), 1);
    EXPECT_EQ(notifications.shown[0].body, QStringLiteral("Local network \u00B7 192.168.1.9"));
    pollFor(std::chrono::seconds(10), studio(true)); // and Tailscale agrees
    EXPECT_EQ(notifications.shown.size(), 1);
}

TEST_F(OnlineNotifierTest, OnlyChosenMachinesAreAnnounced) {
    defaults.lists.insert(MachinePreferences::notifyKey, {QStringLiteral("mini")});
    comeOnlineAfterWarmUp();
    EXPECT_TRUE(notifications.shown.isEmpty());
}

} // namespace
} // namespace nimbrook::testing

#include "DiscoveryFixture.h"
#include "TestHelpers.h"

namespace nimbrook::testing {
namespace {

QByteArray peers(const char* body) {
    return QByteArray(R"({"BackendState":"Running","Peer":{)") + body + "}}";
}

const char* mixedPeers = R"(
    "a":{"DNSName":"ann.ts.net.","HostName":"Ann","TailscaleIPs":["100.64.0.1"],"OS":"macOS","Online":true},
    "b":{"DNSName":"bob.ts.net.","HostName":"Bob","TailscaleIPs":["100.64.0.2"],"OS":"linux","Online":true},
    "c":{"DNSName":"cy.ts.net.","HostName":"Cy","TailscaleIPs":["100.64.0.3"],"OS":"macOS","Online":false})";

class PreferencesTest : public DiscoveryFixture {
protected:
    PreferencesTest() { installTool(); }

    QStringList names() const { return namesOf(discovery->macs()); }
    // Lets the next tick poll, and answers the poll with `output`.
    void nextPoll(const QByteArray& output) {
        scheduler.advance(Discovery::tickInterval);
        tools.latest().finish(output);
        scheduler.runPending();
    }
};

TEST_F(PreferencesTest, WithoutSettingsNothingChanges) {
    startWith(peers(mixedPeers));
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Ann"), QStringLiteral("Cy")}));
    EXPECT_EQ(discovery->preferences().listing(), Listing::macs);
}

TEST_F(PreferencesTest, EditsByHandApplyWithinOneTick) {
    startWith(peers(mixedPeers));

    defaults.lists.insert(MachinePreferences::pinnedKey, {QStringLiteral("cy")});
    defaults.lists.insert(MachinePreferences::operatingSystemsKey,
                          {QStringLiteral("macOS"), QStringLiteral("Linux")});
    nextPoll(peers(mixedPeers));
    EXPECT_EQ(names(),
              (QStringList{QStringLiteral("Cy"), QStringLiteral("Ann"), QStringLiteral("Bob")}));
    EXPECT_EQ(discovery->preferences().listing(), Listing::computers);

    defaults.lists.remove(MachinePreferences::pinnedKey);
    defaults.lists.remove(MachinePreferences::operatingSystemsKey);
    nextPoll(peers(mixedPeers));
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Ann"), QStringLiteral("Cy")}));
}

TEST_F(PreferencesTest, PinningAppliesAtOnceAndKeepsWhatTheFileHolds) {
    startWith(peers(mixedPeers));
    // Written meanwhile by another instance, or by hand.
    defaults.lists.insert(MachinePreferences::pinnedKey, {QStringLiteral("zed")});
    ASSERT_TRUE(discovery->preferences().setPinned(QStringLiteral("cy"), true));
    EXPECT_EQ(names().first(), QStringLiteral("Cy"));
    EXPECT_EQ(defaults.lists.value(MachinePreferences::pinnedKey),
              (QStringList{QStringLiteral("cy"), QStringLiteral("zed")}));
    discovery->preferences().setPinned(QStringLiteral("cy"), false);
    EXPECT_EQ(names().first(), QStringLiteral("Ann"));
    EXPECT_EQ(defaults.lists.value(MachinePreferences::pinnedKey),
              QStringList{QStringLiteral("zed")});
}

} // namespace
} // namespace nimbrook::testing

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

TEST_F(PreferencesTest, APinShowsAtOnceAndIsSavedIntoWhatTheFileHoldsThen) {
    startWith(peers(mixedPeers));
    defaults.holdSaves = true;
    discovery->preferences().setPinned(QStringLiteral("cy"), true);
    EXPECT_EQ(names().first(), QStringLiteral("Cy"));
    // A tick while the pin is being saved does not take it back.
    nextPoll(peers(mixedPeers));
    EXPECT_EQ(names().first(), QStringLiteral("Cy"));

    // Written meanwhile by another instance, or by hand: kept.
    defaults.lists.insert(MachinePreferences::pinnedKey, {QStringLiteral("zed")});
    defaults.saveHeld();
    scheduler.runPending();
    EXPECT_EQ(defaults.lists.value(MachinePreferences::pinnedKey),
              (QStringList{QStringLiteral("zed"), QStringLiteral("cy")}));
    EXPECT_EQ(discovery->preferences().pinned(),
              (QSet<QString>{QStringLiteral("zed"), QStringLiteral("cy")}));

    defaults.holdSaves = false;
    discovery->preferences().setPinned(QStringLiteral("cy"), false);
    scheduler.runPending();
    EXPECT_EQ(names().first(), QStringLiteral("Ann"));
    EXPECT_EQ(defaults.lists.value(MachinePreferences::pinnedKey),
              QStringList{QStringLiteral("zed")});
}

TEST_F(PreferencesTest, AChoiceThatCannotBeSavedIsUndoneAndSaid) {
    startWith(peers(mixedPeers));
    QStringList said;
    QObject::connect(&discovery->preferences(), &MachinePreferences::saveFailed,
                     [&said](const QString& message) { said.append(message); });
    defaults.holdSaves = true;
    defaults.failure = QStringLiteral("Nimbrook.conf is read-only");
    discovery->preferences().setPinned(QStringLiteral("cy"), true);
    discovery->preferences().setNotifyWhenOnline(QStringLiteral("ann"), true);
    EXPECT_EQ(names().first(), QStringLiteral("Cy"));
    EXPECT_TRUE(said.isEmpty());

    // The user edits the file meanwhile: that edit is what shows afterwards.
    defaults.lists.insert(MachinePreferences::pinnedKey, {QStringLiteral("ann")});
    defaults.saveHeld();
    scheduler.runPending();
    EXPECT_EQ(said,
              (QStringList{QStringLiteral("Couldn’t save the pin: Nimbrook.conf is read-only"),
                           QStringLiteral("Couldn’t save “Notify When Online”: "
                                          "Nimbrook.conf is read-only")}));
    EXPECT_EQ(discovery->preferences().pinned(), QSet<QString>{QStringLiteral("ann")});
    EXPECT_TRUE(discovery->preferences().notifyWhenOnline().isEmpty());
    EXPECT_EQ(defaults.lists.value(MachinePreferences::pinnedKey),
              QStringList{QStringLiteral("ann")});
    // Nothing of the failed choice is written later.
    defaults.failure.reset();
    nextPoll(peers(mixedPeers));
    EXPECT_EQ(defaults.lists.value(MachinePreferences::pinnedKey),
              QStringList{QStringLiteral("ann")});
    EXPECT_EQ(names().first(), QStringLiteral("Ann"));
}

TEST_F(PreferencesTest, RepeatedSystemsAreListedOnceInTheirFirstPlace) {
    QStringList systems;
    for (int i = 0; i < 3000; ++i)
        systems.append(QStringLiteral("OS-%1").arg(i % 1000));
    systems.append(QStringLiteral("macOS"));
    defaults.lists.insert(MachinePreferences::operatingSystemsKey, systems);
    startWith(peers(mixedPeers));
    EXPECT_EQ(discovery->preferences().operatingSystems().size(), 1001);
    EXPECT_EQ(discovery->preferences().operatingSystems().last(), QStringLiteral("macos"));
}

} // namespace
} // namespace nimbrook::testing

#include "discovery/Discovery.h"

#include "PrintTo.h"
#include "TestHelpers.h"

#include <gtest/gtest.h>

namespace nimbrook {
namespace {

using Source = RemoteMac::Source;

RemoteMac tailscale(const QString& identity, const QString& name, bool online) {
    return {identity + QStringLiteral(".tail1234.ts.net."),
            identity,
            name,
            QStringLiteral("100.64.0.1"),
            online,
            Source::tailscale};
}

RemoteMac bonjour(const QString& serviceName, const QString& identity) {
    return {QStringLiteral("bonjour:") + serviceName, identity, serviceName,
            QStringLiteral("192.168.1.20"),           true,     Source::bonjour};
}

using testing::namesOf;

TEST(MergeTest, ALocalSightingCombinesWithItsTailscaleRecord) {
    // The Tailscale id and identity; the local name and address; online.
    const QList<RemoteMac> merged =
        Discovery::merge({tailscale(QStringLiteral("studio"), QStringLiteral("studio"), false)},
                         {bonjour(QStringLiteral("Studio"), QStringLiteral("studio"))});
    EXPECT_EQ(merged, (QList<RemoteMac>{{QStringLiteral("studio.tail1234.ts.net."),
                                         QStringLiteral("studio"), QStringLiteral("Studio"),
                                         QStringLiteral("192.168.1.20"), true, Source::bonjour}}));
}

TEST(MergeTest, OnlineMachinesComeFirstThenNamesInNumericOrder) {
    const QList<RemoteMac> merged =
        Discovery::merge({tailscale(QStringLiteral("alpha"), QStringLiteral("alpha"), false),
                          tailscale(QStringLiteral("lab-10"), QStringLiteral("Lab 10"), true),
                          tailscale(QStringLiteral("zulu"), QStringLiteral("zulu"), true),
                          tailscale(QStringLiteral("lab-3"), QStringLiteral("Lab 3"), true),
                          tailscale(QStringLiteral("beta"), QStringLiteral("Beta"), false)},
                         {bonjour(QStringLiteral("lab 2"), QStringLiteral("lab-2"))});
    EXPECT_EQ(namesOf(merged), (QStringList{QStringLiteral("lab 2"), QStringLiteral("Lab 3"),
                                            QStringLiteral("Lab 10"), QStringLiteral("zulu"),
                                            QStringLiteral("alpha"), QStringLiteral("Beta")}));
}

TEST(MergeTest, PinnedMachinesComeFirstEachSideInTheListsOwnOrder) {
    const QList<RemoteMac> merged =
        Discovery::merge({tailscale(QStringLiteral("ann"), QStringLiteral("Ann"), false),
                          tailscale(QStringLiteral("bob"), QStringLiteral("Bob"), true),
                          tailscale(QStringLiteral("cy"), QStringLiteral("Cy"), true),
                          tailscale(QStringLiteral("dee"), QStringLiteral("Dee"), false)},
                         {bonjour(QStringLiteral("Eve"), QStringLiteral("eve"))});
    ASSERT_EQ(namesOf(merged),
              (QStringList{QStringLiteral("Bob"), QStringLiteral("Cy"), QStringLiteral("Eve"),
                           QStringLiteral("Ann"), QStringLiteral("Dee")}));
    // Pinned: online first, then by name, among themselves as well.
    EXPECT_EQ(namesOf(Discovery::pinnedFirst(
                  merged, {QStringLiteral("dee"), QStringLiteral("eve"), QStringLiteral("gone")})),
              (QStringList{QStringLiteral("Eve"), QStringLiteral("Dee"), QStringLiteral("Bob"),
                           QStringLiteral("Cy"), QStringLiteral("Ann")}));
    EXPECT_EQ(Discovery::pinnedFirst(merged, {}), merged);
}

} // namespace
} // namespace nimbrook

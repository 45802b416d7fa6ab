#include "discovery/Discovery.h"

#include "PrintTo.h"
#include "TestHelpers.h"

#include <gtest/gtest.h>

namespace nimbrook {
namespace {

using Source = RemoteMac::Source;

RemoteMac tailscale(const QString& identity, const QString& name, bool online,
                    const QString& address = QStringLiteral("100.64.0.1")) {
    return RemoteMac{identity + QStringLiteral(".tail1234.ts.net."),
                     identity,
                     name,
                     address,
                     online,
                     Source::tailscale};
}

RemoteMac bonjour(const QString& serviceName, const QString& identity,
                  const QString& address = QStringLiteral("192.168.1.20")) {
    return RemoteMac{QStringLiteral("bonjour:") + serviceName,
                     identity,
                     serviceName,
                     address,
                     true,
                     Source::bonjour};
}

using testing::namesOf;

TEST(MergeTest, ALocalSightingCombinesWithItsTailscaleRecord) {
    const RemoteMac fromTailscale{QStringLiteral("studio.tail1234.ts.net."),
                                  QStringLiteral("studio"),
                                  QStringLiteral("studio"),
                                  QStringLiteral("100.64.0.7"),
                                  false,
                                  Source::tailscale};
    const RemoteMac fromBonjour{QStringLiteral("bonjour:Studio"),
                                QStringLiteral("studio"),
                                QStringLiteral("Studio"),
                                QStringLiteral("studio.local"),
                                true,
                                Source::bonjour};

    const QList<RemoteMac> merged = Discovery::merge({fromTailscale}, {fromBonjour});

    const RemoteMac expected{QStringLiteral("studio.tail1234.ts.net."),
                             QStringLiteral("studio"),
                             QStringLiteral("Studio"),
                             QStringLiteral("studio.local"),
                             true,
                             Source::bonjour};
    ASSERT_EQ(merged.size(), 1);
    EXPECT_EQ(merged.first(), expected);
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

TEST(MergeTest, NamesThatDifferOnlyInCaseAreOrderedNotTied) {
    // Without forced ordering these would keep their input order, which differs
    // between the two calls.
    const RemoteMac lower = tailscale(QStringLiteral("a1"), QStringLiteral("studio"), true);
    const RemoteMac upper = tailscale(QStringLiteral("a2"), QStringLiteral("Studio"), true);
    EXPECT_EQ(namesOf(Discovery::merge({lower, upper}, {})),
              namesOf(Discovery::merge({upper, lower}, {})));
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

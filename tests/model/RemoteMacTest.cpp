#include "model/RemoteMac.h"
#include "model/AddressText.h"

#include "PrintTo.h"

#include <gtest/gtest.h>

namespace nimbrook {
namespace {

RemoteMac studio() {
    return RemoteMac(QStringLiteral("studio.tail1234.ts.net."), QStringLiteral("studio"),
                     QStringLiteral("Studio"), QStringLiteral("100.64.0.7"), true,
                     RemoteMac::Source::tailscale);
}

TEST(RemoteMacTest, RowIdentityIsIdentityOrElseId) {
    RemoteMac mac = studio();
    EXPECT_EQ(mac.rowIdentity(), QStringLiteral("studio"));

    const RemoteMac punctuationOnly{
        QStringLiteral("bonjour:!!!"), QString(), QStringLiteral("!!!"),
        QStringLiteral("10.0.0.2"),    true,      RemoteMac::Source::bonjour};
    EXPECT_EQ(punctuationOnly.rowIdentity(), QStringLiteral("bonjour:!!!"));

    // A different id does not change the row of a machine with an identity.
    mac.id = QStringLiteral("bonjour:Studio");
    EXPECT_EQ(mac.rowIdentity(), QStringLiteral("studio"));
}

TEST(RemoteMacTest, SourceRawValuesRoundTripExactlyAndNothingElse) {
    EXPECT_EQ(RemoteMac::rawValue(RemoteMac::Source::tailscale), QStringLiteral("Tailscale"));
    EXPECT_EQ(RemoteMac::rawValue(RemoteMac::Source::bonjour), QStringLiteral("Local network"));
    EXPECT_EQ(RemoteMac::sourceFromRawValue(QStringLiteral("Local network")),
              RemoteMac::Source::bonjour);
    EXPECT_EQ(RemoteMac::sourceFromRawValue(QStringLiteral("Tailscale")),
              RemoteMac::Source::tailscale);
    for (const char* other : {"local network", "tailscale", "", "Tailscale ", "Local  network"})
        EXPECT_FALSE(RemoteMac::sourceFromRawValue(QString::fromUtf8(other))) << other;
}

TEST(RemoteMacTest, EveryFieldTakesPartInEqualityAndHashing) {
    const RemoteMac base = studio();
    std::vector<RemoteMac> variants(6, base);
    variants[0].id += u'x';
    variants[1].identity += u'x';
    variants[2].name += u'x';
    variants[3].address += u'x';
    variants[4].online = !base.online;
    variants[5].source = RemoteMac::Source::bonjour;

    for (std::size_t i = 0; i < variants.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NE(variants[i], base);
        EXPECT_NE(qHash(variants[i]), qHash(base));
        EXPECT_NE(std::hash<RemoteMac>{}(variants[i]), std::hash<RemoteMac>{}(base));
    }
    EXPECT_EQ(RemoteMac(base), base);
    EXPECT_EQ(qHash(RemoteMac(base), 42), qHash(base, 42));
}

TEST(ReadableAddressTest, ZonesReadAsTypedAndBracketsOnlyWhereAPortFollows) {
    const std::pair<const char*, const char*> cases[] = {
        {"[fe80::1%25eth0]", "fe80::1%eth0"},
        {"[fe80::1%25eth0]:5901", "[fe80::1%eth0]:5901"},
        {"[fd7b:1::2]", "fd7b:1::2"},
        {"[fd7b:1::2]:5902", "[fd7b:1::2]:5902"},
        {"10.78.1.2", "10.78.1.2"},
        {"10.78.1.2:5901", "10.78.1.2:5901"},
        {"fd7a:115c:a1e0::1", "fd7a:115c:a1e0::1"},
        {"studio.local", "studio.local"},
        {"[unclosed", "[unclosed"},
        {"", ""},
    };
    for (const auto& [address, readable] : cases)
        EXPECT_EQ(readableAddress(QString::fromLatin1(address)), QString::fromLatin1(readable))
            << address;
}

} // namespace
} // namespace nimbrook

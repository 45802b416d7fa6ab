#include "app/ListFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace nimbrook {
namespace {

const RemoteMac studio(QStringLiteral("bonjour:Studio"), QStringLiteral("studio"),
                       QStringLiteral("Studio"), QStringLiteral("192.168.1.20"), true,
                       RemoteMac::Source::bonjour);
const RemoteMac mini(QStringLiteral("mini.ts.net."), QStringLiteral("mini"),
                     QStringLiteral("Jane\u2019s Mac mini"), QStringLiteral("100.64.0.7"), false,
                     RemoteMac::Source::tailscale);

// The name of the first machine of a JSON listing.
QString firstName(const QByteArray& json) {
    return QJsonDocument::fromJson(json)
        .object()
        .value(QStringLiteral("macs"))
        .toArray()
        .first()
        .toObject()
        .value(QStringLiteral("name"))
        .toString();
}

TEST(ListFormatTest, AnEmptyListShowsTheStatusLine) {
    EXPECT_EQ(ListFormat::text({}, TailscaleState::notInstalled, Listing::macs),
              QStringLiteral("Tailscale not found \u2014 local network only\n"));
}

TEST(ListFormatTest, OneAlignedLinePerMachineInListOrder) {
    const QStringList lines = ListFormat::text({studio, mini}, TailscaleState::ok, Listing::macs)
                                  .split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Studio ")));
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("online")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("offline")));
    EXPECT_EQ(lines[0].indexOf(QStringLiteral("Local network")),
              lines[1].indexOf(QStringLiteral("Tailscale")));
}

// What a terminal acts on, or what reorders or splits what is read.
const char16_t unsafeCharacters[] = {u'\n',  u'\r',  0x1b,   0x7f,   0x85,   0x9b,   0x200f, 0x202e,
                                     0x2066, 0x2067, 0x2068, 0x2069, 0x2028, 0x2029, 0xfeff};

TEST(ListFormatTest, NoControlOrFormatCharacterReachesTheTerminal) {
    for (const char16_t c : unsafeCharacters) {
        RemoteMac hostile = studio;
        hostile.name = QStringLiteral("Evil") + QChar(c) + QStringLiteral("Name");
        const QString text = ListFormat::text({hostile, mini}, TailscaleState::ok, Listing::macs);
        EXPECT_EQ(text.count(u'\n'), 2) << int(c);
        EXPECT_FALSE(text.contains(QChar(c)) && c != u'\n') << int(c);
        EXPECT_TRUE(text.startsWith(QStringLiteral("Evil\uFFFDName"))) << int(c);

        const QByteArray json = ListFormat::json({hostile}, TailscaleState::ok, false);
        EXPECT_FALSE(QString::fromUtf8(json).contains(QChar(c))) << int(c);
        EXPECT_EQ(firstName(json), hostile.name) << int(c);
    }
    RemoteMac tag = studio; // a format character outside the BMP: U+E0001
    tag.name = QStringLiteral("Tag\U000E0001");
    EXPECT_EQ(ListFormat::text({tag}, TailscaleState::ok, Listing::macs).left(4),
              QStringLiteral("Tag\uFFFD"));
    EXPECT_TRUE(ListFormat::json({tag}, TailscaleState::ok, false).contains("\\udb40\\udc01"));
}

TEST(ListFormatTest, LongNamesAreCutSoOutputGrowsWithTheInputOnly) {
    RemoteMac longName = studio;
    longName.name = QString(100000, u'x');
    const QStringList lines = ListFormat::text({longName, mini}, TailscaleState::ok, Listing::macs)
                                  .split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QString(39, u'x') + QChar(0x2026) + u' '));
    EXPECT_LT(lines[1].size(), 100);
    // Columns line up by display width: wide characters take two.
    RemoteMac wide = studio;
    wide.name = QStringLiteral("\u5de5\u4f5c\u5ba4"); // three wide characters, six columns
    RemoteMac narrow = mini;
    narrow.name = QStringLiteral("abcdef");
    const QStringList aligned = ListFormat::text({wide, narrow}, TailscaleState::ok, Listing::macs)
                                    .split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(aligned[0].indexOf(u'L') + 3, aligned[1].indexOf(u'T'));
}

TEST(ListFormatTest, JsonCarriesTheSixFieldsAndTheStateOnOneLine) {
    const QJsonObject root =
        QJsonDocument::fromJson(ListFormat::json({mini}, TailscaleState::ok, true)).object();
    EXPECT_EQ(root.value(QStringLiteral("tailscaleState")).toString(), QStringLiteral("ok"));
    EXPECT_TRUE(root.value(QStringLiteral("isPolling")).toBool());
    EXPECT_EQ(root.value(QStringLiteral("macs")).toArray().first().toObject(),
              (QJsonObject{{QStringLiteral("id"), mini.id},
                           {QStringLiteral("identity"), mini.identity},
                           {QStringLiteral("name"), mini.name},
                           {QStringLiteral("address"), mini.address},
                           {QStringLiteral("online"), false},
                           {QStringLiteral("source"), QStringLiteral("Tailscale")}}));

    // Whatever the network sends stays one line of valid JSON.
    RemoteMac hostile = studio;
    hostile.name = QStringLiteral("Quote\" back\\slash \x01\n\t Zo\u00eb\u2019s \U0001F34E");
    const QByteArray json = ListFormat::json({hostile}, TailscaleState::needsLogin, false);
    EXPECT_FALSE(json.contains('\n'));
    EXPECT_EQ(firstName(json), hostile.name);
    EXPECT_EQ(QJsonDocument::fromJson(json).object().value(QStringLiteral("tailscaleState")),
              QStringLiteral("needsLogin"));

    // Text shows a zone as typed, JSON keeps the URL's form.
    RemoteMac linkLocal = studio;
    linkLocal.address = QStringLiteral("[fe80::1%25eth0]");
    EXPECT_TRUE(ListFormat::text({linkLocal}, TailscaleState::ok, Listing::macs)
                    .contains(QStringLiteral("  fe80::1%eth0  ")));
    EXPECT_TRUE(
        ListFormat::json({linkLocal}, TailscaleState::ok, false).contains("[fe80::1%25eth0]"));
}

} // namespace
} // namespace nimbrook

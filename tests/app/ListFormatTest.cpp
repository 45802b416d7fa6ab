#include "app/ListFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace nimbrook {
namespace {

const RemoteMac studio{QStringLiteral("bonjour:Studio"),
                       QStringLiteral("studio"),
                       QStringLiteral("Studio"),
                       QStringLiteral("192.168.1.20"),
                       true,
                       RemoteMac::Source::bonjour};
const RemoteMac mini{QStringLiteral("mini.ts.net."),
                     QStringLiteral("mini"),
                     QStringLiteral("Jane\u2019s Mac mini"),
                     QStringLiteral("100.64.0.7"),
                     false,
                     RemoteMac::Source::tailscale};

TEST(ListFormatTest, AnEmptyListShowsTheStatusLine) {
    EXPECT_EQ(ListFormat::text({}, TailscaleState::notInstalled),
              QStringLiteral("Tailscale not found \u2014 local network only\n"));
    EXPECT_EQ(ListFormat::text({}, TailscaleState::notRunning),
              QStringLiteral("Tailscale isn\u2019t running\n"));
    EXPECT_EQ(ListFormat::text({}, TailscaleState::searching), QStringLiteral("Searching\u2026\n"));
}

TEST(ListFormatTest, OneAlignedLinePerMachineInListOrder) {
    const QStringList lines =
        ListFormat::text({studio, mini}, TailscaleState::ok).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Studio ")));
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("online")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("offline")));
    EXPECT_EQ(lines[0].indexOf(QStringLiteral("Local network")),
              lines[1].indexOf(QStringLiteral("Tailscale")));
}

TEST(ListFormatTest, ControlCharactersFromTheNetworkCannotBreakLines) {
    RemoteMac hostile = studio;
    hostile.name = QStringLiteral("Evil\nName\r\x1b[2J");
    const QString text = ListFormat::text({hostile}, TailscaleState::ok);
    EXPECT_EQ(text.count(u'\n'), 1);
    EXPECT_FALSE(text.contains(QChar(0x1b)));
}

TEST(ListFormatTest, JsonCarriesTheSixFieldsAndTheState) {
    const QJsonObject root =
        QJsonDocument::fromJson(ListFormat::json({mini}, TailscaleState::ok, true)).object();
    EXPECT_EQ(root.value(QStringLiteral("tailscaleState")).toString(), QStringLiteral("ok"));
    EXPECT_TRUE(root.value(QStringLiteral("isPolling")).toBool());
    const QJsonObject mac = root.value(QStringLiteral("macs")).toArray().first().toObject();
    EXPECT_EQ(mac.value(QStringLiteral("id")).toString(), mini.id);
    EXPECT_EQ(mac.value(QStringLiteral("identity")).toString(), mini.identity);
    EXPECT_EQ(mac.value(QStringLiteral("name")).toString(), mini.name);
    EXPECT_EQ(mac.value(QStringLiteral("address")).toString(), mini.address);
    EXPECT_FALSE(mac.value(QStringLiteral("online")).toBool());
    EXPECT_EQ(mac.value(QStringLiteral("source")).toString(), QStringLiteral("Tailscale"));
    EXPECT_FALSE(ListFormat::json({mini}, TailscaleState::ok, false).contains('\n'));
}

TEST(ListFormatTest, JsonEscapesWhateverTheNetworkSends) {
    RemoteMac hostile = studio;
    hostile.name = QStringLiteral("Quote\" back\\slash \x01\n\t Zo\u00eb\u2019s \U0001F34E");
    const QByteArray json = ListFormat::json({hostile}, TailscaleState::needsLogin, false);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.toStdString();
    EXPECT_EQ(document.object()
                  .value(QStringLiteral("macs"))
                  .toArray()
                  .first()
                  .toObject()
                  .value(QStringLiteral("name"))
                  .toString(),
              hostile.name);
    EXPECT_EQ(document.object().value(QStringLiteral("tailscaleState")).toString(),
              QStringLiteral("needsLogin"));
    EXPECT_FALSE(json.contains('\n'));
}

} // namespace
} // namespace nimbrook

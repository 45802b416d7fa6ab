#include "discovery/Discovery.h"

#include "PrintTo.h"
#include "TestHelpers.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace nimbrook {
namespace {

using testing::fixture;

QStringList namesOf(const StatusReport& report) {
    return testing::namesOf(report.macs);
}

// A report with one peer built from `peerJson`.
QByteArray withPeer(const char* peerJson, const char* backendState = "Running") {
    return QByteArray(R"({"BackendState":")") + backendState + R"(","Peer":{"nodekey:1":)" +
           peerJson + "}}";
}

const StatusReport unreadable{TailscaleState::notRunning, {}};

TEST(StatusParseTest, ARunningReportListsItsMacsByName) {
    const StatusReport report = Discovery::parse(fixture("running-3-macs.json"));
    EXPECT_EQ(report.state, TailscaleState::ok);
    ASSERT_EQ(namesOf(report),
              (QStringList{QStringLiteral("Café Mac"), QStringLiteral("Guest’s MacBook Pro"),
                           QStringLiteral("macbook-air")}));
    const RemoteMac& cafe = report.macs[0];
    EXPECT_EQ(cafe,
              (RemoteMac{QStringLiteral("caf-mac.taila4c66.ts.net."), QStringLiteral("caf-mac"),
                         QStringLiteral("Café Mac"), QStringLiteral("100.126.104.22"), false,
                         RemoteMac::Source::tailscale}));
    // An empty HostName gives the identity as name, not the DNS name.
    EXPECT_EQ(report.macs[2].name, QStringLiteral("macbook-air"));
    EXPECT_EQ(report.macs[2].id, QStringLiteral("macbook-air.taila4c66.ts.net."));

    // The first address serves, IPv6 when Tailscale lists it first.
    const StatusReport ipv6First = Discovery::parse(fixture("ipv6-first.json"));
    ASSERT_EQ(namesOf(ipv6First), (QStringList{QStringLiteral("Lab 2"), QStringLiteral("Lab 10")}));
    EXPECT_EQ(ipv6First.macs[1].address, QStringLiteral("fd7a:115c:a1e0::9bc:6f3"));
    EXPECT_EQ(ipv6First.macs[0].address, QStringLiteral("100.105.13.181"));
}

TEST(StatusParseTest, EdgeNamesSortNumericallyAndKeepEveryMac) {
    const StatusReport report = Discovery::parse(fixture("running-edge-names.json"));
    EXPECT_EQ(report.state, TailscaleState::ok);
    const QStringList names = namesOf(report);
    EXPECT_EQ(names.size(), 10);
    EXPECT_LT(names.indexOf(QStringLiteral("Lab 2")), names.indexOf(QStringLiteral("Lab 10")));
    EXPECT_EQ(names.count(QStringLiteral("MacBook Pro")), 2);
    EXPECT_TRUE(names.contains(QStringLiteral("Édition <Mac>")));
    EXPECT_FALSE(names.contains(QStringLiteral("homeassistant")));
}

TEST(StatusParseTest, OnlyPlainAddressesServeAndTheNextEntryMayTakeOver) {
    const std::pair<const char*, const char*> cases[] = {
        {R"(["100.64.0.1@evil.example"])", nullptr},
        {R"(["user:pw@100.64.0.1"])", nullptr},
        {R"(["studio.example"])", nullptr},
        {R"(["100.64.0.1/32"])", nullptr},
        {R"(["100.64.0.1?q"])", nullptr},
        {R"(["100.64.0.1#f"])", nullptr},
        {R"(["0x64.0.0.1"])", nullptr},
        {R"(["[fd7a::1]"])", nullptr},
        {R"(["100.64.0.1@evil.example", "100.64.0.2"])", "100.64.0.2"},
        // A NUL ends a text early for C functions (found by fuzzing).
        {R"(["fd7a::\u0000%eth0", "100.64.0.2"])", "100.64.0.2"},
        {R"(["fd7a:115c:a1e0::1"])", "fd7a:115c:a1e0::1"},
        {R"(["fe80::1%tailscale0"])", "fe80::1%tailscale0"},
    };
    for (const auto& [ips, address] : cases) {
        const QByteArray peer =
            QByteArray(R"({"OS":"macOS","DNSName":"studio.ts.net.","TailscaleIPs":)") + ips + "}";
        const StatusReport report = Discovery::parse(withPeer(peer.constData()));
        EXPECT_EQ(report.state, TailscaleState::ok) << ips;
        if (address) {
            ASSERT_EQ(report.macs.size(), 1) << ips;
            EXPECT_EQ(report.macs[0].address, QString::fromUtf8(address));
        } else {
            EXPECT_TRUE(report.macs.isEmpty()) << ips;
        }
    }
}

TEST(StatusParseTest, LongStringsAreCutWithoutBreakingTheJsonAndNamesAt256) {
    QByteArray json = fixture("running-3-macs.json");
    const QByteArray untouched = json;
    EXPECT_EQ(shortenLongJsonStrings(json, 1024), 0);
    EXPECT_EQ(json, untouched);

    // Escapes and multi-byte characters are kept or dropped whole.
    QByteArray hostile = R"({"a":")" + QByteArray(10, 'x') + R"(\u00e9\"é€𝄞tail","b":"ok"})";
    const qsizetype dropped = shortenLongJsonStrings(hostile, 12);
    EXPECT_GT(dropped, 0);
    QJsonParseError error{};
    const QJsonObject object = QJsonDocument::fromJson(hostile, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << hostile.constData();
    EXPECT_TRUE(object.value(QStringLiteral("a")).toString().startsWith(QString(10, u'x')));
    EXPECT_LE(object.value(QStringLiteral("a")).toString().toUtf8().size(), 12);
    EXPECT_EQ(object.value(QStringLiteral("b")).toString(), QStringLiteral("ok"));

    // What a huge name decodes to is what the parser makes of any long name.
    QByteArray report =
        R"({"Peer":{"a":{"OS":"macOS","DNSName":"s.ts.net.","TailscaleIPs":["100.64.0.9"],)"
        R"("HostName":")" +
        QByteArray(200000, 'N') + R"("}}})";
    const StatusReport whole = Discovery::parse(report);
    shortenLongJsonStrings(report, Discovery::maxJsonString);
    EXPECT_LT(report.size(), 70000);
    EXPECT_EQ(Discovery::parse(report), whole);
    // Names are cut at 256 characters: a longer one costs in every sort and row.
    ASSERT_EQ(whole.macs.size(), 1);
    EXPECT_EQ(whole.macs[0].name, QString(256, u'N'));
    // Longer than any DNS name can be: not a DNS name.
    const QByteArray dns = R"({"OS":"macOS","TailscaleIPs":["100.64.0.9"],"DNSName":")" +
                           QByteArray(300, 'a') + R"(.ts.net."})";
    EXPECT_TRUE(Discovery::parse(withPeer(dns.constData())).macs.isEmpty());
}

TEST(StatusParseTest, OtherOperatingSystemsAreListedWhenAsked) {
    const QByteArray report =
        R"({"Peer":{)"
        R"("a":{"OS":"linux","DNSName":"a.ts.net.","TailscaleIPs":["100.64.0.1"]},)"
        R"("b":{"OS":"windows","DNSName":"b.ts.net.","TailscaleIPs":["100.64.0.2"]},)"
        R"("c":{"OS":"macOS","DNSName":"c.ts.net.","TailscaleIPs":["100.64.0.3"]},)"
        R"("d":{"OS":"iOS","DNSName":"d.ts.net.","TailscaleIPs":["100.64.0.4"]},)"
        R"("e":{"OS":"LINUX","DNSName":"e.ts.net.","TailscaleIPs":["100.64.0.5"]}}})";
    EXPECT_EQ(namesOf(Discovery::parse(report)), QStringList{QStringLiteral("c")});
    EXPECT_EQ(namesOf(Discovery::parse(report, {QStringLiteral("macos"), QStringLiteral("linux"),
                                                QStringLiteral("windows")})),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                           QStringLiteral("e")}));
}

TEST(StatusParseTest, AFloodedReportListsTheFirstMachinesOfItsTableAndCountsTheRest) {
    // Node keys in table order; a peer of another system is not counted.
    const int macs = int(maxListedMachines) + 3;
    QByteArray report = R"({"Peer":{"k0":{"OS":"linux"})";
    for (int i = 1; i <= macs; ++i) {
        const QByteArray n = QByteArray::number(i).rightJustified(6, '0');
        report += ",\"k" + n + R"(":{"OS":"macOS","DNSName":"m)" + n +
                  R"(.t.","TailscaleIPs":["100.64.)" + QByteArray::number(i / 256) + '.' +
                  QByteArray::number(i % 256) + "\"]}";
    }
    report += "}}";
    const StatusReport parsed = Discovery::parse(report);
    ASSERT_EQ(parsed.macs.size(), maxListedMachines);
    EXPECT_EQ(parsed.leftOut, 3);
    EXPECT_FALSE(namesOf(parsed).contains(QStringLiteral("m%1").arg(macs, 6, 10, QChar(u'0'))));
    EXPECT_TRUE(namesOf(parsed).contains(QStringLiteral("m000001")));
}

TEST(StatusParseTest, BackendStatesMapToOurStates) {
    struct Case {
        const char* file;
        TailscaleState state;
        int macs;
    };
    const Case cases[] = {{"starting.json", TailscaleState::ok, 2},
                          {"stopped.json", TailscaleState::notRunning, 0},
                          {"needs-login.json", TailscaleState::needsLogin, 0},
                          {"needs-login-auth-url.json", TailscaleState::needsLogin, 0},
                          {"needs-login-key-expired.json", TailscaleState::needsLogin, 0},
                          {"needs-machine-auth.json", TailscaleState::needsLogin, 0},
                          {"no-state.json", TailscaleState::needsLogin, 0},
                          {"empty-object.json", TailscaleState::ok, 0}};
    for (const Case& c : cases) {
        const StatusReport report = Discovery::parse(fixture(c.file));
        EXPECT_EQ(report.state, c.state) << c.file;
        EXPECT_EQ(report.macs.size(), c.macs) << c.file;
    }
    // The names match exactly: any other is a state we do not know, and lists.
    const char* mac = R"({"DNSName":"studio.ts.net.","TailscaleIPs":["100.64.0.7"],"OS":"macOS"})";
    EXPECT_EQ(Discovery::parse(withPeer(mac, "stopped")).macs.size(), 1);
    EXPECT_EQ(Discovery::parse(withPeer(mac, "needslogin")).state, TailscaleState::ok);
    EXPECT_EQ(Discovery::parse(withPeer(mac, "Stopped")), unreadable);
    // Tailscale belongs to another user of this computer.
    EXPECT_EQ(Discovery::parse(withPeer(mac, "InUseOtherUser")), unreadable);
}

TEST(StatusParseTest, EmptyAndNonObjectOutputIsNotRunning) {
    for (const char* output : {"", "   ", "[]", "[{\"BackendState\":\"Running\"}]", "null", "42",
                               "\"Running\"", "{\"BackendState\":\"Running\"", "{} {}"})
        EXPECT_EQ(Discovery::parse(QByteArray(output)), unreadable) << output;
}

TEST(StatusParseTest, OnlyMacsWithADnsNameAndAnAddressBecomeMachines) {
    struct Case {
        const char* peer;
        bool isMachine;
    };
    const Case cases[] = {
        {R"({"DNSName":"a.ts.net.","TailscaleIPs":["100.64.0.1"],"OS":"MACOS"})", true},
        {R"({"DNSName":"a.ts.net.","TailscaleIPs":["100.64.0.1"],"OS":"linux"})", false},
        {R"({"DNSName":"a.ts.net.","TailscaleIPs":["100.64.0.1"],"OS":"macos "})", false},
        {R"({"DNSName":"a.ts.net.","TailscaleIPs":["100.64.0.1"]})", false},
        {R"({"DNSName":"","TailscaleIPs":["100.64.0.1"],"OS":"macOS"})", false},
        {R"({"TailscaleIPs":["100.64.0.1"],"OS":"macOS"})", false},
        {R"({"DNSName":"a.ts.net.","OS":"macOS"})", false},
        {R"({"DNSName":"a.ts.net.","TailscaleIPs":[],"OS":"macOS"})", false},
        {R"({"DNSName":"a.ts.net.","TailscaleIPs":["",""],"OS":"macOS"})", false},
        {R"({"DNSName":"a.ts.net.","TailscaleIPs":null,"OS":"macOS"})", false},
        // Shared with someone else, shown only because they share with us.
        {R"({"DNSName":"a.ts.net.","TailscaleIPs":["100.64.0.1"],"OS":"macOS","ShareeNode":true})",
         false},
        {R"({"DNSName":"a.ts.net.","TailscaleIPs":["100.64.0.1"],"OS":"macOS","ShareeNode":false})",
         true},
    };
    for (const Case& c : cases) {
        const StatusReport report = Discovery::parse(withPeer(c.peer));
        EXPECT_EQ(report.state, TailscaleState::ok) << c.peer;
        EXPECT_EQ(report.macs.size(), c.isMachine ? 1 : 0) << c.peer;
    }
}

TEST(StatusParseTest, PeerFieldsFillTheRecord) {
    const StatusReport skippedEmpty = Discovery::parse(withPeer(
        R"({"DNSName":"Mac-Mini.tail.ts.net.","TailscaleIPs":["","fd7a::1","100.64.0.9"],"OS":"macOS","HostName":null,"Online":null})"));
    ASSERT_EQ(skippedEmpty.macs.size(), 1);
    EXPECT_EQ(skippedEmpty.macs[0],
              (RemoteMac{QStringLiteral("Mac-Mini.tail.ts.net."), QStringLiteral("mac-mini"),
                         QStringLiteral("mac-mini"), QStringLiteral("fd7a::1"), false,
                         RemoteMac::Source::tailscale}));

    const StatusReport online = Discovery::parse(withPeer(
        R"({"DNSName":"s.ts.net.","TailscaleIPs":["100.64.0.2"],"OS":"macOS","HostName":"Studio","Online":true,"Extra":[1,2,{"x":null}]})"));
    ASSERT_EQ(online.macs.size(), 1);
    EXPECT_TRUE(online.macs[0].online);
    EXPECT_EQ(online.macs[0].name, QStringLiteral("Studio"));
}

TEST(StatusParseTest, AWrongTypeAnywhereAmongReadKeysRejectsTheWholeReport) {
    const char* good = R"("p1":{"DNSName":"a.ts.net.","TailscaleIPs":["100.64.0.1"],"OS":"macOS"})";
    const char* badPeers[] = {
        R"({"OS":"linux","Online":"yes"})",  // in a peer that would be skipped anyway
        R"({"OS":"linux","HostName":7})",    //
        R"({"OS":"linux","DNSName":false})", //
        R"({"OS":"linux","ShareeNode":"yes"})",
        R"({"OS":1})", //
        R"({"OS":"linux","TailscaleIPs":"100.64.0.2"})",
        R"({"OS":"linux","TailscaleIPs":["100.64.0.2",null]})",
        R"({"OS":"linux","TailscaleIPs":[1]})",
        R"(null)",
        R"("peer")",
    };
    for (const char* bad : badPeers) {
        const QByteArray report =
            QByteArray(R"({"BackendState":"Running","Peer":{)") + good + R"(,"p2":)" + bad + "}}";
        EXPECT_EQ(Discovery::parse(report), unreadable) << bad;
    }
    EXPECT_EQ(Discovery::parse(R"({"BackendState":7,"Peer":{}})"), unreadable);
    EXPECT_EQ(Discovery::parse(R"({"Peer":[]})"), unreadable);
    // Null is absence, not a wrong type.
    EXPECT_EQ(Discovery::parse(R"({"BackendState":null,"Peer":null})"),
              (StatusReport{TailscaleState::ok, {}}));
    // Keys are case-sensitive: "peer" is some other key, ignored.
    EXPECT_EQ(Discovery::parse(R"({"peer":7,"backendstate":"Stopped"})"),
              (StatusReport{TailscaleState::ok, {}}));
    // Of a key given twice the last counts, the first may be of any type.
    EXPECT_EQ(Discovery::parse(R"({"BackendState":7,"BackendState":"NeedsLogin"})").state,
              TailscaleState::needsLogin);
    EXPECT_EQ(Discovery::parse(withPeer(R"({"OS":1,"OS":"linux"})")).state, TailscaleState::ok);
    // Keys we do not read must still hold JSON.
    EXPECT_EQ(Discovery::parse(withPeer(R"({"OS":"linux","RxBytes":12x})")), unreadable);
    EXPECT_EQ(Discovery::parse(R"({"Version":tru,"Peer":{}})"), unreadable);
    EXPECT_EQ(Discovery::parse(QByteArray("{\"Self\":\"\xff\",\"Peer\":{}}")), unreadable);
    // JSON that a fast parser balks at is still JSON: integers beyond 64 bits,
    // escaped lone surrogates (a character of its own, U+FFFD, in a name).
    const StatusReport odd = Discovery::parse(fixture("odd-json.json"));
    ASSERT_EQ(odd.macs.size(), 1);
    EXPECT_EQ(odd.macs[0].name, QStringLiteral("Lab \uFFFD Mac \U0001F600"));
}

} // namespace
} // namespace nimbrook

#include "DiscoveryFixture.h"

namespace nimbrook::testing {
namespace {

std::optional<QString> urlHost(HostEndpoint::Kind kind, const char* host, quint16 port) {
    return Discovery::urlHost(HostEndpoint{kind, QString::fromUtf8(host), port});
}

TEST(UrlHostTest, EveryHostForm) {
    using Kind = HostEndpoint::Kind;
    EXPECT_EQ(urlHost(Kind::name, "Studio.local", 5900), QStringLiteral("Studio.local"));
    EXPECT_EQ(urlHost(Kind::name, "Studio.local", 5901), QStringLiteral("Studio.local:5901"));
    EXPECT_EQ(urlHost(Kind::ipv4, "192.168.1.20", 5900), QStringLiteral("192.168.1.20"));
    EXPECT_EQ(urlHost(Kind::ipv4, "192.168.1.20%en0", 5900), QStringLiteral("192.168.1.20"));
    EXPECT_EQ(urlHost(Kind::ipv4, "192.168.1.20", 0), QStringLiteral("192.168.1.20:0"));
    EXPECT_EQ(urlHost(Kind::ipv6, "fe80::1c2b:3aff:fe4d:5e6f%en0", 5900),
              QStringLiteral("[fe80::1c2b:3aff:fe4d:5e6f%25en0]"));
    EXPECT_EQ(urlHost(Kind::ipv6, "fe80::1c2b:3aff:fe4d:5e6f%en0", 5901),
              QStringLiteral("[fe80::1c2b:3aff:fe4d:5e6f%25en0]:5901"));
    EXPECT_EQ(urlHost(Kind::ipv6, "fd00::7", 5900), QStringLiteral("[fd00::7]"));
    EXPECT_EQ(urlHost(Kind::ipv6, "fd00::7", 65535), QStringLiteral("[fd00::7]:65535"));
}

TEST(UrlHostTest, ServicesAndEmptyHostsGiveNothing) {
    EXPECT_EQ(Discovery::urlHost(ServiceEndpoint{QStringLiteral("Studio"),
                                                 QStringLiteral("_rfb._tcp"),
                                                 QStringLiteral("local"),
                                                 {{2, IpProtocol::ipv4}}}),
              std::nullopt);
    EXPECT_EQ(urlHost(HostEndpoint::Kind::name, "", 5900), std::nullopt);
    EXPECT_EQ(urlHost(HostEndpoint::Kind::ipv4, "%en0", 5901), std::nullopt);
    EXPECT_EQ(urlHost(HostEndpoint::Kind::ipv6, "", 5900), std::nullopt);
}

class ConnectTest : public DiscoveryFixture {
protected:
    static RemoteMac machine(const char* identity, const QString& address) {
        return RemoteMac{QStringLiteral("id"),
                         QString::fromUtf8(identity),
                         QStringLiteral("Studio"),
                         address,
                         true,
                         RemoteMac::Source::bonjour};
    }
    // What one choice of a machine at `address` opens, long after the last.
    QStringList openedFor(const QString& address) {
        scheduler.advance(Discovery::reopenInterval);
        urlOpener.opened.clear();
        discovery->connect(machine("studio", address));
        QStringList urls;
        for (const QUrl& url : std::as_const(urlOpener.opened))
            urls.append(url.toString());
        return urls;
    }
};

TEST_F(ConnectTest, OpensVncUrlsOfPlainAddressesAsTheyAre) {
    const std::pair<const char*, const char*> cases[] = {
        {"192.168.1.20", "vnc://192.168.1.20"},
        {"10.78.1.2:5901", "vnc://10.78.1.2:5901"},
        {"[fd00::7]:5901", "vnc://[fd00::7]:5901"},
        {"[fe80::1%25eth0]", "vnc://[fe80::1%25eth0]"},
        // The same address in another spelling: the URL writes it its own way.
        {"[FD00:0:0::7]:5901", "vnc://[fd00::7]:5901"},
        // Tailscale's bare IPv6 form needs brackets to be a host at all.
        {"fd7a:115c:a1e0::9bc:6f3", "vnc://[fd7a:115c:a1e0::9bc:6f3]"},
    };
    for (const auto& [address, url] : cases)
        EXPECT_EQ(openedFor(QString::fromUtf8(address)), QStringList{QString::fromUtf8(url)})
            << address;
}

TEST_F(ConnectTest, AnythingButAPlainAddressOpensNothing) {
    // Each would send the viewer somewhere other than the address shown, or nowhere.
    for (const char* address :
         {"", "has space", "host:notaport", "Studio.local:5901", "100.64.0.1@evil.example",
          "user:pw@100.64.0.1", "100.64.0.1/32", "100.64.0.1?q", "100.64.0.1#f", "0x64.0.0.1",
          "100.64.1", "100.064.0.1", "[fd00::7]x", "[fd00::7]:", "10.0.0.1:0", "10.0.0.1:65536",
          "[100.64.0.1]", "fe80::1%eth0/x", "[fe80::1%25eth0]:5901/x"})
        EXPECT_TRUE(openedFor(QString::fromUtf8(address)).isEmpty()) << address;
}

TEST_F(ConnectTest, AMachineChosenAgainWithinTwoSecondsIsOpenedOnce) {
    const QString address = QStringLiteral("192.168.1.20");
    for (int click = 0; click < 100; ++click) // a double click, or a burst from a menu host
        discovery->connect(machine("studio", address));
    discovery->connect(machine("mini", QStringLiteral("192.168.1.21")));
    scheduler.advance(Discovery::reopenInterval - 1ms);
    discovery->connect(machine("studio", address));
    EXPECT_EQ(urlOpener.opened.size(), 2);
    scheduler.advance(1ms);
    discovery->connect(machine("studio", address));
    EXPECT_EQ(urlOpener.opened.size(), 3);
}

TEST_F(ConnectTest, AMachineNoViewerOpenedIsSaidWithWhy) {
    QList<std::pair<QString, UrlOpener::Outcome>> failed;
    QObject::connect(discovery.get(), &Discovery::connectFailed,
                     [&](const RemoteMac& mac, const UrlOpener::Result& result) {
                         failed.append({mac.address, result.outcome});
                     });
    EXPECT_EQ(openedFor(QStringLiteral("192.168.1.20")).size(), 1);
    EXPECT_TRUE(failed.isEmpty());

    urlOpener.result = {UrlOpener::Outcome::noHandler, {}, {}};
    EXPECT_EQ(openedFor(QStringLiteral("192.168.1.21")).size(), 1);
    urlOpener.result = {UrlOpener::Outcome::failed, QStringLiteral("Remmina"),
                        QStringLiteral("No such file")};
    EXPECT_EQ(openedFor(QStringLiteral("192.168.1.22")).size(), 1);
    EXPECT_EQ(failed, (QList<std::pair<QString, UrlOpener::Outcome>>{
                          {QStringLiteral("192.168.1.21"), UrlOpener::Outcome::noHandler},
                          {QStringLiteral("192.168.1.22"), UrlOpener::Outcome::failed}}));
}

} // namespace
} // namespace nimbrook::testing

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
    QStringList openedFor(const QString& address) {
        urlOpener.opened.clear();
        discovery->connect(RemoteMac{QStringLiteral("id"), QStringLiteral("studio"),
                                     QStringLiteral("Studio"), address, true,
                                     RemoteMac::Source::bonjour});
        QStringList urls;
        for (const QUrl& url : std::as_const(urlOpener.opened))
            urls.append(url.toString());
        return urls;
    }
};

TEST_F(ConnectTest, OpensVncUrlsOfTheAddressAsItIs) {
    EXPECT_EQ(openedFor(QStringLiteral("192.168.1.20")),
              QStringList{QStringLiteral("vnc://192.168.1.20")});
    EXPECT_EQ(openedFor(QStringLiteral("[fd00::7]:5901")),
              QStringList{QStringLiteral("vnc://[fd00::7]:5901")});
    // URLs carry host names in lower case; they match case-insensitively.
    EXPECT_EQ(openedFor(QStringLiteral("Studio.local:5901")),
              QStringList{QStringLiteral("vnc://studio.local:5901")});
    EXPECT_EQ(openedFor(QStringLiteral("[fe80::1%25eth0]")),
              QStringList{QStringLiteral("vnc://[fe80::1%25eth0]")});
}

TEST_F(ConnectTest, ABareIPv6AddressIsBracketedSoItCanBeOpened) {
    EXPECT_EQ(openedFor(QStringLiteral("fd7a:115c:a1e0::9bc:6f3")),
              QStringList{QStringLiteral("vnc://[fd7a:115c:a1e0::9bc:6f3]")});
}

TEST_F(ConnectTest, EmptyOrInvalidAddressesOpenNothing) {
    EXPECT_TRUE(openedFor(QString()).isEmpty());
    EXPECT_TRUE(openedFor(QStringLiteral("has space")).isEmpty());
    EXPECT_TRUE(openedFor(QStringLiteral("host:notaport")).isEmpty());
}

TEST_F(ConnectTest, ARefusalIsSilent) {
    urlOpener.accepts = false;
    EXPECT_EQ(openedFor(QStringLiteral("192.168.1.20")).size(), 1);
    EXPECT_TRUE(discovery->macs().isEmpty());
}

} // namespace
} // namespace nimbrook::testing

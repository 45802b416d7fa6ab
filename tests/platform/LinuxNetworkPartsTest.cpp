#include "platform/linux/AvahiSession.h"
#include "platform/linux/LocalSocket.h"
#include "platform/linux/NetlinkPathMonitoring.h"
#include "platform/linux/SocketAddress.h"
#include "platform/linux/UniqueFd.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

#include <gtest/gtest.h>

namespace nimbrook {
namespace {

// (IPv4 addresses are read in the integration tests, from real connections.)
TEST(SocketAddressTest, IPv6WithItsScope) {
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(5900);
    inet_pton(AF_INET6, "fe80::1c2b:3aff:fe4d:5e6f", &v6.sin6_addr);
    v6.sin6_scope_id = if_nametoindex("lo");
    ASSERT_NE(v6.sin6_scope_id, 0u);
    EXPECT_EQ(hostEndpointFromSocketAddress(reinterpret_cast<sockaddr*>(&v6), sizeof v6),
              (HostEndpoint{HostEndpoint::Kind::ipv6,
                            QStringLiteral("fe80::1c2b:3aff:fe4d:5e6f%lo"), 5900}));

    v6.sin6_scope_id = 999999; // an interface that is gone: keep its number
    EXPECT_EQ(hostEndpointFromSocketAddress(reinterpret_cast<sockaddr*>(&v6), sizeof v6)->host,
              QStringLiteral("fe80::1c2b:3aff:fe4d:5e6f%999999"));
}

TEST(SocketAddressTest, ShortBuffersAndOtherFamiliesGiveNothing) {
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    EXPECT_FALSE(hostEndpointFromSocketAddress(reinterpret_cast<sockaddr*>(&v4), sizeof v4 - 1));
    sockaddr unix{};
    unix.sa_family = AF_UNIX;
    EXPECT_FALSE(hostEndpointFromSocketAddress(&unix, sizeof unix));
    EXPECT_FALSE(hostEndpointFromSocketAddress(nullptr, 0));
}

sockaddr_storage storage(int family, const char* text) {
    sockaddr_storage address{};
    if (family == AF_INET) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        EXPECT_EQ(inet_pton(AF_INET, text, &v4->sin_addr), 1);
    } else {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        EXPECT_EQ(inet_pton(AF_INET6, text, &v6->sin6_addr), 1);
    }
    return address;
}

TEST(SocketAddressTest, AnyVersionPrefersRoutableIPv6AndTakesLinkLocalLast) {
    const int uniqueLocal = anyVersionRank(storage(AF_INET6, "fd7b:1::2"));
    EXPECT_EQ(uniqueLocal, anyVersionRank(storage(AF_INET6, "2001:db8::5")));
    EXPECT_LT(uniqueLocal, anyVersionRank(storage(AF_INET, "10.78.1.2")));
    EXPECT_EQ(anyVersionRank(storage(AF_INET6, "::ffff:10.78.1.2")),
              anyVersionRank(storage(AF_INET, "10.78.1.2")));
    EXPECT_LT(anyVersionRank(storage(AF_INET, "10.78.1.2")),
              anyVersionRank(storage(AF_INET6, "fe80::1")));
    EXPECT_LT(anyVersionRank(storage(AF_INET, "10.78.1.2")),
              anyVersionRank(storage(AF_INET, "169.254.7.1")));
    // The whole of fe80::/10, not only fe80::/16.
    EXPECT_EQ(anyVersionRank(storage(AF_INET6, "febf::1")),
              anyVersionRank(storage(AF_INET6, "fe80::1")));
    EXPECT_LT(uniqueLocal, anyVersionRank(storage(AF_INET6, "febf::1")));
    EXPECT_EQ(anyVersionRank(storage(AF_INET6, "fec0::1")), uniqueLocal);
}

TEST(SocketAddressTest, OnlyInterfacesWithAnIPv4AddressHaveIPv4) {
    EXPECT_TRUE(interfaceHasIpv4(int(if_nametoindex("lo"))));
    EXPECT_FALSE(interfaceHasIpv4(0));
    EXPECT_FALSE(interfaceHasIpv4(999999));
}

TEST(PrettyHostnameTest, ReadsTheQuotedOrPlainValue) {
    EXPECT_EQ(AvahiSession::prettyHostname(
                  "PRETTY_HOSTNAME=\"Jane\xe2\x80\x99s Laptop\"\nCHASSIS=laptop\n"),
              QStringLiteral("Jane\u2019s Laptop"));
    EXPECT_EQ(AvahiSession::prettyHostname("CHASSIS=desktop\nPRETTY_HOSTNAME=Studio\n"),
              QStringLiteral("Studio"));
    EXPECT_EQ(AvahiSession::prettyHostname("PRETTY_HOSTNAME='Lab \"2\"'\n"),
              QStringLiteral("Lab \"2\""));
    EXPECT_EQ(AvahiSession::prettyHostname("PRETTY_HOSTNAME=\"A \\\"quoted\\\" name\"\n"),
              QStringLiteral("A \"quoted\" name"));
    EXPECT_EQ(AvahiSession::prettyHostname("PRETTY_HOSTNAME=\n"), std::nullopt);
    EXPECT_EQ(AvahiSession::prettyHostname("CHASSIS=laptop\n"), std::nullopt);
    EXPECT_EQ(AvahiSession::prettyHostname(""), std::nullopt);
}

using Link = NetlinkPathMonitoring::Link;

TEST(NetlinkPathTest, StatusNeedsAnAddressedInterfaceAndADefaultRoute) {
    NetlinkPathMonitoring::Snapshot snapshot;
    snapshot.links = {
        Link{3, QStringLiteral("wlan0"), ARPHRD_ETHER, IFF_UP | IFF_RUNNING},
        Link{1, QStringLiteral("lo"), ARPHRD_LOOPBACK, IFF_UP | IFF_RUNNING | IFF_LOOPBACK},
        Link{2, QStringLiteral("eth0"), ARPHRD_ETHER, IFF_UP}}; // no carrier
    snapshot.addresses = {{1}, {3}};
    const auto type = [](const Link& link) {
        return link.name == QStringLiteral("wlan0") ? InterfaceType::wifi : InterfaceType::other;
    };

    NetworkPath path = NetlinkPathMonitoring::buildPath(snapshot, type);
    EXPECT_EQ(path.status, PathStatus::unsatisfied); // no default route yet
    ASSERT_EQ(path.availableInterfaces.size(), 2);
    EXPECT_EQ(path.availableInterfaces[0].name, QStringLiteral("lo")); // index order
    EXPECT_EQ(path.availableInterfaces[1],
              (NetworkInterface{QStringLiteral("wlan0"), InterfaceType::wifi}));

    snapshot.defaultRoutes = {{3, QStringLiteral("192.168.1.1")}, {3, QString()}};
    path = NetlinkPathMonitoring::buildPath(snapshot, type);
    EXPECT_EQ(path.status, PathStatus::satisfied);
    EXPECT_EQ(path.gatewayDescriptions, QStringList{QStringLiteral("192.168.1.1")});

    snapshot.addresses = {{1}}; // only loopback has an address
    EXPECT_EQ(NetlinkPathMonitoring::buildPath(snapshot, type).status, PathStatus::unsatisfied);
}

TEST(NetlinkPathTest, ClassifiesFromSysfs) {
    QTemporaryDir sys;
    ASSERT_TRUE(sys.isValid());
    const QDir root(sys.path());
    ASSERT_TRUE(root.mkpath(QStringLiteral("class/net")));
    struct Case {
        const char* device; // under devices/, linked from class/net/<name>
        const char* name;
        unsigned short arpType;
        InterfaceType type;
    };
    const Case cases[] = {
        {"pci0000:00/0000:00:1f.6/net/enp0s31f6", "enp0s31f6", ARPHRD_ETHER,
         InterfaceType::wiredEthernet},
        {"pci0000:00/wifi/net/wlan0", "wlan0", ARPHRD_ETHER, InterfaceType::wifi},
        {"virtual/net/veth0", "veth0", ARPHRD_ETHER, InterfaceType::other},
        // Virtual, yet with a device entry: still not a wired adapter.
        {"virtual/net/vnet0", "vnet0", ARPHRD_ETHER, InterfaceType::other},
        {nullptr, "tun0", ARPHRD_NONE, InterfaceType::other},
        {nullptr, "lo", ARPHRD_LOOPBACK, InterfaceType::loopback},
    };
    ASSERT_TRUE(
        root.mkpath(QStringLiteral("devices/pci0000:00/0000:00:1f.6/net/enp0s31f6/device")));
    ASSERT_TRUE(root.mkpath(QStringLiteral("devices/pci0000:00/wifi/net/wlan0/phy80211")));
    ASSERT_TRUE(root.mkpath(QStringLiteral("devices/virtual/net/vnet0/device")));
    for (const Case& c : cases) {
        const QString name = QString::fromLatin1(c.name);
        if (c.device) {
            const QString device =
                root.filePath(QStringLiteral("devices/") + QLatin1String(c.device));
            ASSERT_TRUE(root.mkpath(device));
            ASSERT_TRUE(QFile::link(device, root.filePath(QStringLiteral("class/net/") + name)));
        }
        const unsigned flags = c.arpType == ARPHRD_LOOPBACK ? IFF_UP | IFF_LOOPBACK : IFF_UP;
        EXPECT_EQ(NetlinkPathMonitoring::classify(Link{1, name, c.arpType, flags},
                                                  root.filePath(QStringLiteral("class/net"))),
                  c.type)
            << c.name;
    }
}

TEST(LocalSocketTest, TheSocketTableShowsWhoListensWhere) {
    const QByteArray table = "Num       RefCount Protocol Flags    Type St Inode Path\n"
                             "0000000000000000: 00000002 00000000 00010000 0001 01 31278 "
                             "/tmp/.X11-unix/X10\n"
                             "0000000000000000: 00000002 00000000 00010000 0001 01 31277 "
                             "@/tmp/.X11-unix/X7\n"
                             "0000000000000000: 00000003 00000000 00000000 0001 03 31301 "
                             "/tmp/.X11-unix/X1\n"
                             "0000000000000000: 00000002 00000000 00010000 0001 01 4001 "
                             "/run/user/1000/a b\n"
                             "0000000000000000: 00000002 00000000 00000000 0002 01 4002\n";
    EXPECT_TRUE(socketTableListensAt(table, QStringLiteral("/tmp/.X11-unix/X10")));
    EXPECT_TRUE(socketTableListensAt(table, QStringLiteral("/tmp/.X11-unix/X7")));
    EXPECT_TRUE(socketTableListensAt(table, QStringLiteral("/run/user/1000/a b")));
    // A connected socket on that path is a client, not a server.
    EXPECT_FALSE(socketTableListensAt(table, QStringLiteral("/tmp/.X11-unix/X1")));
    EXPECT_FALSE(socketTableListensAt(table, QStringLiteral("/tmp/.X11-unix/X")));
    EXPECT_FALSE(socketTableListensAt(table, QString()));
}

// The kernel's own table, for a socket bound here: listening or not yet.
TEST(LocalSocketTest, ARealListeningSocketAnswersAndABoundOneDoesNot) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("display socket"));
    const QByteArray name = path.toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(std::size_t(name.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    const UniqueFd server(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    ASSERT_TRUE(server);
    ASSERT_EQ(::bind(server.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const auto table = [] {
        QFile file(QStringLiteral("/proc/net/unix"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    EXPECT_FALSE(socketTableListensAt(table(), path));
    EXPECT_FALSE(unixSocketAnswers(path));
    ASSERT_EQ(::listen(server.get(), 1), 0);
    EXPECT_TRUE(socketTableListensAt(table(), path));
    EXPECT_TRUE(unixSocketAnswers(path));
    // Asked without connecting: an X server with no other client resets when
    // a connection closes, turning away whoever connects next.
    EXPECT_LT(::accept4(server.get(), nullptr, nullptr, SOCK_CLOEXEC), 0);
    EXPECT_FALSE(unixSocketAnswers(dir.filePath(QStringLiteral("nothing"))));
}

} // namespace
} // namespace nimbrook

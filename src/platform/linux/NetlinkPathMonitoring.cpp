#include "platform/linux/NetlinkPathMonitoring.h"

#include "platform/linux/CancelHandle.h"

#include "platform/linux/NetworkThread.h"
#include "platform/linux/UniqueFd.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

// glibc's <net/if.h> must come before any kernel header that defines IFF_*.
#include <net/if.h>
#include <net/if_arp.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

// The kernel's NLMSG_* and RTA_* macros are C: casts and int arithmetic.
#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wcast-align"
#pragma GCC diagnostic ignored "-Wsign-conversion"
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wsign-compare"

namespace nimbrook {

Q_LOGGING_CATEGORY(lcPath, "nimbrook.path", QtWarningMsg)

namespace {

// Events arrive in bursts (a link going down takes its addresses and routes
// with it); one dump after the burst has settled is enough.
constexpr auto settleDelay = std::chrono::milliseconds(100);

template <typename Visit>
void forEachAttribute(const rtattr* attribute, int length, Visit&& visit) {
    for (; RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length))
        visit(attribute);
}

QString gatewayText(int family, const void* data, int interfaceIndex) {
    char text[INET6_ADDRSTRLEN] = {};
    if (!inet_ntop(family, data, text, sizeof text))
        return {};
    QString result = QString::fromLatin1(text);
    // A link-local gateway is only meaningful with its interface.
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (family == AF_INET6 && bytes[0] == 0xfe && (bytes[1] & 0xc0) == 0x80) {
        char name[IF_NAMESIZE] = {};
        if (if_indextoname(unsigned(interfaceIndex), name))
            result += u'%' + QString::fromLocal8Bit(name);
    }
    return result;
}

void parseMessage(const nlmsghdr* header, NetlinkPathMonitoring::Snapshot& snapshot) {
    switch (header->nlmsg_type) {
    case RTM_NEWLINK: {
        const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(header));
        NetlinkPathMonitoring::Link link{info->ifi_index, {}, info->ifi_type, info->ifi_flags};
        forEachAttribute(IFLA_RTA(info), int(IFLA_PAYLOAD(header)), [&](const rtattr* attribute) {
            if (attribute->rta_type == IFLA_IFNAME)
                link.name = QString::fromLocal8Bit(static_cast<const char*>(RTA_DATA(attribute)));
        });
        snapshot.links.push_back(link);
        return;
    }
    case RTM_NEWADDR: {
        const auto* info = static_cast<const ifaddrmsg*>(NLMSG_DATA(header));
        snapshot.addresses.push_back({int(info->ifa_index)});
        return;
    }
    case RTM_NEWROUTE: {
        const auto* info = static_cast<const rtmsg*>(NLMSG_DATA(header));
        if (info->rtm_dst_len != 0 || info->rtm_type != RTN_UNICAST)
            return;
        unsigned table = info->rtm_table;
        int interfaceIndex = 0;
        const void* gateway = nullptr;
        forEachAttribute(RTM_RTA(info), int(RTM_PAYLOAD(header)), [&](const rtattr* attribute) {
            switch (attribute->rta_type) {
            case RTA_TABLE:
                table = *static_cast<const unsigned*>(RTA_DATA(attribute));
                break;
            case RTA_OIF:
                interfaceIndex = *static_cast<const int*>(RTA_DATA(attribute));
                break;
            case RTA_GATEWAY:
                gateway = RTA_DATA(attribute);
                break;
            default:
                break;
            }
        });
        if (table != RT_TABLE_MAIN)
            return;
        snapshot.defaultRoutes.push_back(
            {interfaceIndex,
             gateway ? gatewayText(info->rtm_family, gateway, interfaceIndex) : QString()});
        return;
    }
    default:
        return;
    }
}

// Sends one dump request and reads the answer into `snapshot`.
bool dumpInto(int fd, unsigned short type, NetlinkPathMonitoring::Snapshot& snapshot,
              unsigned sequence) {
    struct {
        nlmsghdr header;
        rtgenmsg body;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtgenmsg));
    request.header.nlmsg_type = type;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = sequence;
    request.body.rtgen_family = AF_UNSPEC;
    if (send(fd, &request, request.header.nlmsg_len, 0) < 0) {
        qCWarning(lcPath, "netlink dump request failed: %s", strerror(errno));
        return false;
    }

    alignas(nlmsghdr) char buffer[32 * 1024];
    for (;;) {
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            qCWarning(lcPath, "netlink dump failed: %s", strerror(errno));
            return false;
        }
        int remaining = int(got);
        for (auto* header = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(header, remaining);
             header = NLMSG_NEXT(header, remaining)) {
            if (header->nlmsg_seq != sequence)
                continue;
            if (header->nlmsg_type == NLMSG_DONE)
                return true;
            if (header->nlmsg_type == NLMSG_ERROR) {
                qCWarning(lcPath, "netlink dump refused");
                return false;
            }
            parseMessage(header, snapshot);
        }
    }
}

} // namespace

std::optional<NetlinkPathMonitoring::Snapshot> NetlinkPathMonitoring::dump() {
    UniqueFd fd(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!fd) {
        qCWarning(lcPath, "netlink socket failed: %s", strerror(errno));
        return std::nullopt;
    }
    // Never let a kernel that does not answer hold up the network thread.
    const timeval limit{1, 0};
    if (setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) {
        qCWarning(lcPath, "cannot limit netlink reads: %s", strerror(errno));
        return std::nullopt;
    }
    Snapshot snapshot;
    if (!dumpInto(fd.get(), RTM_GETLINK, snapshot, 1) ||
        !dumpInto(fd.get(), RTM_GETADDR, snapshot, 2) ||
        !dumpInto(fd.get(), RTM_GETROUTE, snapshot, 3))
        return std::nullopt;
    return snapshot;
}

InterfaceType NetlinkPathMonitoring::classify(const Link& link, const QString& sysClassNet) {
    if (link.flags & IFF_LOOPBACK)
        return InterfaceType::loopback;
    const QString base = sysClassNet + u'/' + link.name;
    if (QFileInfo::exists(base + QStringLiteral("/wireless")) ||
        QFileInfo::exists(base + QStringLiteral("/phy80211")))
        return InterfaceType::wifi;
    if (link.hardwareType == ARPHRD_ETHER) {
        // Bridges, veths, tunnels and containers' interfaces live under
        // devices/virtual of the same sysfs; a real adapter has a device of
        // its own.
        const QString virtualDevices =
            QFileInfo(sysClassNet + QStringLiteral("/../../devices/virtual")).canonicalFilePath();
        const QFileInfo device(base + QStringLiteral("/device"));
        const QString linkTarget = QFileInfo(base).canonicalFilePath();
        const bool isVirtual =
            !virtualDevices.isEmpty() && linkTarget.startsWith(virtualDevices + u'/');
        if (device.exists() && !isVirtual)
            return InterfaceType::wiredEthernet;
    }
    return InterfaceType::other;
}

NetworkPath
NetlinkPathMonitoring::buildPath(const Snapshot& snapshot,
                                 const std::function<InterfaceType(const Link&)>& interfaceType) {
    std::vector<Link> links = snapshot.links;
    std::sort(links.begin(), links.end(),
              [](const Link& a, const Link& b) { return a.index < b.index; });

    NetworkPath path;
    bool usableInterface = false;
    for (const Link& link : links) {
        if ((link.flags & IFF_UP) == 0 || (link.flags & IFF_RUNNING) == 0)
            continue;
        path.availableInterfaces.append(NetworkInterface{link.name, interfaceType(link)});
        const bool hasAddress =
            std::any_of(snapshot.addresses.begin(), snapshot.addresses.end(),
                        [&](const Address& a) { return a.interfaceIndex == link.index; });
        if (hasAddress && (link.flags & IFF_LOOPBACK) == 0)
            usableInterface = true;
    }
    for (const Route& route : snapshot.defaultRoutes) {
        if (!route.gateway.isEmpty())
            path.gatewayDescriptions.append(route.gateway);
    }
    path.status = usableInterface && !snapshot.defaultRoutes.empty() ? PathStatus::satisfied
                                                                     : PathStatus::unsatisfied;
    return path;
}

// --- Monitoring ------------------------------------------------------------

struct NetlinkPathMonitoring::Private : std::enable_shared_from_this<Private> {
    Private(NetworkThread& networkThread, QString sysfs)
        : thread(networkThread)
        , sysClassNet(std::move(sysfs)) {}

    NetworkThread& thread;
    QString sysClassNet;

    struct Monitor {
        std::function<void(const NetworkPath&)> onUpdate;
        std::atomic<bool> cancelled{false}; // also set from the canceller's thread
        UniqueFd events;
        std::unique_ptr<NetworkThread::Watch> watch;
        std::unique_ptr<NetworkThread::Timer> settle;
        std::optional<NetworkPath> last;
    };
    std::vector<std::shared_ptr<Monitor>> monitors;

    void begin(const std::shared_ptr<Monitor>& monitor) {
        if (monitor->cancelled)
            return;
        monitors.push_back(monitor);
        monitor->events.reset(
            socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
        if (monitor->events) {
            sockaddr_nl address{};
            address.nl_family = AF_NETLINK;
            address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR |
                                RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
            if (bind(monitor->events.get(), reinterpret_cast<const sockaddr*>(&address),
                     sizeof address) != 0) {
                qCWarning(lcPath, "netlink bind failed: %s", strerror(errno));
                monitor->events.reset();
            }
        } else {
            qCWarning(lcPath, "netlink socket failed: %s", strerror(errno));
        }
        if (monitor->events) {
            monitor->watch = thread.watchReadable(monitor->events.get(),
                                                  [this, raw = monitor.get()] { drain(*raw); });
        }
        // Subscribed first, then read: no change can slip between the two.
        rebuild(*monitor);
    }

    void drain(Monitor& monitor) {
        alignas(nlmsghdr) char buffer[16 * 1024];
        for (;;) {
            const ssize_t got = recv(monitor.events.get(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0)
                continue; // the contents do not matter: the dump tells the whole story
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0 && errno == ENOBUFS)
                continue; // events were lost; the dump below covers them
            break;
        }
        if (!monitor.settle)
            monitor.settle = thread.after(settleDelay, [this, raw = &monitor] {
                raw->settle.reset();
                rebuild(*raw);
            });
    }

    void rebuild(Monitor& monitor) {
        if (monitor.cancelled)
            return;
        const std::optional<Snapshot> snapshot = dump();
        // Unreadable counts as no network, so a broken netlink is not mistaken
        // for a healthy path.
        NetworkPath path =
            snapshot ? buildPath(*snapshot,
                                 [this](const Link& link) { return classify(link, sysClassNet); })
                     : NetworkPath{};
        if (monitor.last && *monitor.last == path)
            return;
        monitor.last = path;
        const auto onUpdate = monitor.onUpdate;
        onUpdate(path);
    }

    void cancel(const std::shared_ptr<Monitor>& monitor) {
        monitor->cancelled = true;
        monitor->watch.reset();
        monitor->settle.reset();
        monitor->events.reset();
        std::erase(monitors, monitor);
    }

    void shutdown() {
        for (const auto& monitor : monitors) {
            monitor->cancelled = true;
            monitor->watch.reset();
            monitor->settle.reset();
            monitor->events.reset();
        }
        monitors.clear();
    }
};

NetlinkPathMonitoring::NetlinkPathMonitoring(NetworkThread& thread, QString sysClassNet)
    : d(std::make_shared<Private>(thread, std::move(sysClassNet))) {
}

NetlinkPathMonitoring::~NetlinkPathMonitoring() {
    d->shutdown();
}

std::unique_ptr<PathMonitor>
NetlinkPathMonitoring::start(std::function<void(const NetworkPath&)> onUpdate) {
    auto monitor = std::make_shared<Private::Monitor>();
    monitor->onUpdate = std::move(onUpdate);
    d->thread.post([owner = d, monitor] { owner->begin(monitor); });
    return std::make_unique<CancelHandle<PathMonitor, Private, Private::Monitor>>(d, monitor);
}

} // namespace nimbrook

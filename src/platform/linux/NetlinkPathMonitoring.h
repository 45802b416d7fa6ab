#pragma once

#include "platform/PathMonitoring.h"

#include <QString>

#include <memory>
#include <vector>

namespace nimbrook {

class NetworkThread;

// The network path from rtnetlink, watched on the network thread. Link,
// address and route events only say that something changed: after each burst
// of them (and after a lost event, ENOBUFS) the whole path is read afresh from
// a dump, because IPv4 routes that vanish with their link send no event.
class NetlinkPathMonitoring final : public PathMonitoring {
public:
    explicit NetlinkPathMonitoring(NetworkThread& thread,
                                   QString sysClassNet = QStringLiteral("/sys/class/net"));
    ~NetlinkPathMonitoring() override;

    std::unique_ptr<PathMonitor> start(std::function<void(const NetworkPath&)> onUpdate) override;

    // The raw facts a path is built from.
    struct Link {
        int index = 0;
        QString name;
        unsigned short hardwareType = 0; // ARPHRD_*
        unsigned flags = 0;              // IFF_*
    };
    struct Address {
        int interfaceIndex = 0;
    };
    struct Route {
        int interfaceIndex = 0;
        QString gateway; // text form; empty for a default route without a gateway
    };
    struct Snapshot {
        std::vector<Link> links;
        std::vector<Address> addresses;
        std::vector<Route> defaultRoutes; // main table only
    };

    // Reads the current snapshot with a netlink dump; none if the kernel
    // cannot be asked. Blocks for at most about a second.
    static std::optional<Snapshot> dump();
    // Satisfied when a non-loopback interface is up with an address and there
    // is a default route. Interfaces that are up and running, in index order,
    // classified by `interfaceType`; gateways of the default routes.
    static NetworkPath buildPath(const Snapshot& snapshot,
                                 const std::function<InterfaceType(const Link&)>& interfaceType);
    // Wi-Fi when sysfs shows a wireless device; wired Ethernet for an Ethernet
    // link backed by a real device; loopback; everything else is other.
    static InterfaceType classify(const Link& link, const QString& sysClassNet);

private:
    struct Private;
    std::shared_ptr<Private> d;
};

} // namespace nimbrook

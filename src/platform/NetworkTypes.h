#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <variant>

namespace nimbrook {

enum class IpProtocol { unspecified, ipv4, ipv6 };

// One interface and protocol a service was announced on.
struct ServiceSighting {
    int interfaceIndex = 0; // 0 when unknown
    IpProtocol protocol = IpProtocol::unspecified;

    friend bool operator==(const ServiceSighting&, const ServiceSighting&) = default;
};

// A DNS-SD service instance as the browser saw it: enough to resolve it and
// connect to it later. A dual-stack peer announces its service over IPv4 and
// IPv6, on every link it shares with us; the endpoint keeps all of those
// sightings, in the order they arrived, so that resolution can choose.
struct ServiceEndpoint {
    QString name;   // the instance name the remote machine advertises
    QString type;   // e.g. "_rfb._tcp"
    QString domain; // e.g. "local"
    QList<ServiceSighting> sightings;

    friend bool operator==(const ServiceEndpoint&, const ServiceEndpoint&) = default;
};

// A host and port: where a connection actually went.
struct HostEndpoint {
    enum class Kind { name, ipv4, ipv6 };
    Kind kind = Kind::name;
    // The name, or the address in its standard text form; an address with an
    // interface scope ends in "%" and the interface name.
    QString host;
    quint16 port = 0;

    friend bool operator==(const HostEndpoint&, const HostEndpoint&) = default;
};

// Either form of endpoint the discovery logic meets.
using NetworkEndpoint = std::variant<ServiceEndpoint, HostEndpoint>;

// How usable the network path is.
enum class PathStatus { satisfied, unsatisfied, requiresConnection };

enum class InterfaceType { other, wifi, cellular, wiredEthernet, loopback };

struct NetworkInterface {
    QString name; // the system's interface name, e.g. "wlan0"
    InterfaceType type = InterfaceType::other;

    friend bool operator==(const NetworkInterface&, const NetworkInterface&) = default;
};

// One snapshot of the system's network path.
struct NetworkPath {
    PathStatus status = PathStatus::unsatisfied;
    QList<NetworkInterface> availableInterfaces; // in the system's order
    QStringList gatewayDescriptions;             // one stable text per gateway

    friend bool operator==(const NetworkPath&, const NetworkPath&) = default;
};

} // namespace nimbrook

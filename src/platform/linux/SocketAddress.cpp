#include "platform/linux/SocketAddress.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstring>

namespace nimbrook {

std::optional<HostEndpoint> hostEndpointFromSocketAddress(const sockaddr* address,
                                                          socklen_t length) {
    if (!address || length < socklen_t(sizeof(sa_family_t)))
        return std::nullopt;

    char text[INET6_ADDRSTRLEN] = {};
    if (address->sa_family == AF_INET) {
        if (length < socklen_t(sizeof(sockaddr_in)))
            return std::nullopt;
        sockaddr_in v4{};
        std::memcpy(&v4, address, sizeof v4);
        if (!inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text))
            return std::nullopt;
        return HostEndpoint{HostEndpoint::Kind::ipv4, QString::fromLatin1(text),
                            ntohs(v4.sin_port)};
    }
    if (address->sa_family == AF_INET6) {
        if (length < socklen_t(sizeof(sockaddr_in6)))
            return std::nullopt;
        sockaddr_in6 v6{};
        std::memcpy(&v6, address, sizeof v6);
        if (!inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text))
            return std::nullopt;
        QString host = QString::fromLatin1(text);
        if (v6.sin6_scope_id != 0) {
            char name[IF_NAMESIZE] = {};
            host += u'%';
            host += if_indextoname(v6.sin6_scope_id, name) ? QString::fromLocal8Bit(name)
                                                           : QString::number(v6.sin6_scope_id);
        }
        return HostEndpoint{HostEndpoint::Kind::ipv6, host, ntohs(v6.sin6_port)};
    }
    return std::nullopt;
}

bool isLinkLocal(const in6_addr& address) {
    return address.s6_addr[0] == 0xfe && (address.s6_addr[1] & 0xc0) == 0x80;
}

int anyVersionRank(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET6) {
        sockaddr_in6 v6{};
        std::memcpy(&v6, &address, sizeof v6);
        if (isLinkLocal(v6.sin6_addr))
            return 2;
        // IPv4-mapped addresses are IPv4 in disguise.
        return IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr) ? 1 : 0;
    }
    if (address.ss_family == AF_INET) {
        sockaddr_in v4{};
        std::memcpy(&v4, &address, sizeof v4);
        const bool linkLocal = (ntohl(v4.sin_addr.s_addr) >> 16) == 0xa9fe; // 169.254/16
        return linkLocal ? 2 : 1;
    }
    return 3;
}

bool interfaceHasIpv4(int interfaceIndex) {
    char name[IF_NAMESIZE] = {};
    if (interfaceIndex <= 0 || !if_indextoname(unsigned(interfaceIndex), name))
        return false;
    ifaddrs* list = nullptr;
    // Unknown: let the attempt find out.
    if (getifaddrs(&list) != 0)
        return true;
    bool found = false;
    for (const ifaddrs* entry = list; entry && !found; entry = entry->ifa_next) {
        found = entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET &&
                std::strcmp(entry->ifa_name, name) == 0;
    }
    freeifaddrs(list);
    return found;
}

} // namespace nimbrook

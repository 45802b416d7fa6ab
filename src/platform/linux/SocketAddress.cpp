#include "platform/linux/SocketAddress.h"

#include <arpa/inet.h>
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

} // namespace nimbrook

#pragma once

#include "platform/NetworkTypes.h"

#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>

namespace nimbrook {

// The endpoint a socket address names: IPv4 or IPv6 in standard text form, an
// IPv6 address with a scope carrying "%" and the interface name (or its index
// when the interface is gone). None for other families or short buffers.
std::optional<HostEndpoint> hostEndpointFromSocketAddress(const sockaddr* address,
                                                          socklen_t length);

// fe80::/10: usable only together with the interface it is on.
bool isLinkLocal(const in6_addr& address);

// How good an address is for reaching a peer when any IP version will do;
// lower is better. A global or unique-local IPv6 address comes first, then any
// other address, a link-local one last: it needs a zone, and some viewers
// cannot open an address with one.
int anyVersionRank(const sockaddr_storage& address);

// Whether the interface with this index has an IPv4 address right now.
bool interfaceHasIpv4(int interfaceIndex);

} // namespace nimbrook

#pragma once

#include "platform/NetworkTypes.h"

#include <optional>
#include <sys/socket.h>

namespace nimbrook {

// The endpoint a socket address names: IPv4 or IPv6 in standard text form, an
// IPv6 address with a scope carrying "%" and the interface name (or its index
// when the interface is gone). None for other families or short buffers.
std::optional<HostEndpoint> hostEndpointFromSocketAddress(const sockaddr* address,
                                                          socklen_t length);

} // namespace nimbrook

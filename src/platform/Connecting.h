#pragma once

#include "platform/NetworkTypes.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace nimbrook {

enum class ConnectionState { setup, preparing, waiting, ready, failed, cancelled };

// One outgoing TCP connection. Destroying the handle cancels it.
class Connection {
public:
    virtual ~Connection() = default;
    // Closes the connection; the state handler then receives `cancelled` unless it
    // has already been told `failed` or `cancelled`. Idempotent, any thread.
    virtual void cancel() = 0;
};

// Opening TCP connections to advertised services: the service is resolved to
// a host and port as part of connecting.
class Connecting {
public:
    // Each new state. With `ready` comes the remote endpoint actually connected
    // to, when the platform can tell it.
    using StateHandler =
        std::function<void(ConnectionState state, const std::optional<HostEndpoint>& remote)>;

    virtual ~Connecting() = default;

    // Starts connecting to `service`, using only `ipVersion` when one is given
    // (ipv4 or ipv6). An attempt that has not connected within `timeout` ends in
    // `failed`. The handler is called on the network thread, never inline from
    // this call; nothing is ever sent on the connection. Callable from any thread.
    virtual std::unique_ptr<Connection> connect(const ServiceEndpoint& service,
                                                std::optional<IpProtocol> ipVersion,
                                                std::chrono::milliseconds timeout,
                                                StateHandler onState) = 0;
};

} // namespace nimbrook

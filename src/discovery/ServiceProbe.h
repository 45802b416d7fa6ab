#pragma once

#include "platform/Connecting.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace nimbrook {

// The address lookup of one advertised service: a connection over IPv4 first,
// then, when that finds nothing, over any IP version. Each connection is
// closed as soon as it has told us where the service is.
class ServiceProbe final : public std::enable_shared_from_this<ServiceProbe> {
public:
    // The URL host of the address connected to, or none. Runs at most once, on
    // the network thread; not after cancel() has returned, unless it had begun.
    using Completion = std::function<void(std::optional<QString> address)>;

    static std::shared_ptr<ServiceProbe> start(Connecting& connecting,
                                               const ServiceEndpoint& service,
                                               std::chrono::milliseconds timeout,
                                               Completion completion);

    // Ends the lookup and closes its connection. Idempotent, any thread.
    void cancel();

    // Use start().
    ServiceProbe(Connecting& connecting, ServiceEndpoint service, std::chrono::milliseconds timeout,
                 Completion completion);

private:
    // Connects for attempt `number` (1: IPv4, 2: any version) unless the
    // probe has moved past it.
    void attempt(int number, std::optional<IpProtocol> ipVersion);
    void onState(int attemptNumber, ConnectionState state,
                 const std::optional<HostEndpoint>& remote);

    Connecting& connecting_;
    const ServiceEndpoint service_;
    const std::chrono::milliseconds timeout_;
    Completion completion_;

    std::mutex lock_;
    bool finished_ = false;
    int attemptNumber_ = 1;
    std::unique_ptr<Connection> connection_;
};

} // namespace nimbrook

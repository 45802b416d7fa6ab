#include "discovery/ServiceProbe.h"

#include "discovery/VncAddress.h"

namespace nimbrook {

ServiceProbe::ServiceProbe(Connecting& connecting, ServiceEndpoint service,
                           std::chrono::milliseconds timeout, Completion completion)
    : connecting_(connecting)
    , service_(std::move(service))
    , timeout_(timeout)
    , completion_(std::move(completion)) {
}

std::shared_ptr<ServiceProbe> ServiceProbe::start(Connecting& connecting,
                                                  const ServiceEndpoint& service,
                                                  std::chrono::milliseconds timeout,
                                                  Completion completion) {
    auto probe =
        std::make_shared<ServiceProbe>(connecting, service, timeout, std::move(completion));
    probe->attempt(1, IpProtocol::ipv4);
    return probe;
}

void ServiceProbe::attempt(int number, std::optional<IpProtocol> ipVersion) {
    // Held across connect(): its first report waits until the handle is ours.
    std::lock_guard guard(lock_);
    if (finished_ || number != attemptNumber_)
        return;
    connection_ =
        connecting_.connect(service_, ipVersion, timeout_,
                            [weak = weak_from_this(), number](
                                ConnectionState state, const std::optional<HostEndpoint>& remote) {
                                if (const auto self = weak.lock())
                                    self->onState(number, state, remote);
                            });
}

void ServiceProbe::onState(int attemptNumber, ConnectionState state,
                           const std::optional<HostEndpoint>& remote) {
    if (state == ConnectionState::setup || state == ConnectionState::preparing)
        return;
    std::unique_ptr<Connection> done;
    std::optional<QString> address;
    bool tryAnyVersion = false;
    {
        std::lock_guard guard(lock_);
        if (finished_ || attemptNumber != attemptNumber_)
            return;
        done = std::move(connection_);
        // `waiting` ends the attempt without an address rather than waiting for
        // the platform to retry.
        if (state == ConnectionState::ready && remote)
            address = urlHostOf(*remote);
        tryAnyVersion = !address && attemptNumber == 1;
        finished_ = !tryAnyVersion;
        // From here on, what the first connection says is stale.
        if (tryAnyVersion)
            attemptNumber_ = 2;
    }
    // Outside the lock: cancelling may report to this very handler.
    if (done)
        done->cancel();
    if (tryAnyVersion)
        attempt(2, std::nullopt);
    else
        completion_(address);
}

void ServiceProbe::cancel() {
    std::unique_ptr<Connection> connection;
    {
        std::lock_guard guard(lock_);
        finished_ = true;
        connection = std::move(connection_);
    }
    if (connection)
        connection->cancel();
}

} // namespace nimbrook

#include "discovery/Discovery.h"

#include "model/MachineIdentity.h"
#include "platform/Connecting.h"

#include <QPointer>

#include <mutex>

namespace nimbrook {

void Discovery::resolveOutstanding() {
    for (auto endpoint = bonjourEndpoints_.cbegin(); endpoint != bonjourEndpoints_.cend();
         ++endpoint) {
        if (!viaBonjour_.contains(endpoint.key()) && !resolving_.contains(endpoint.key()))
            resolve(endpoint.key(), endpoint.value());
    }
}

void Discovery::resolve(const QString& name, const ServiceEndpoint& endpoint) {
    const std::int64_t generation = browserGeneration_;
    resolving_.insert(name);

    // Back on the main thread with whatever the probes found.
    auto finish = [self = QPointer<Discovery>(this), &scheduler = platform_.scheduler, name,
                   generation](std::optional<QString> address) {
        scheduler.post([self, name, generation, address] {
            if (!self || generation != self->browserGeneration_)
                return;
            self->resolving_.remove(name);
            // Withdrawn while we were probing.
            if (!self->bonjourEndpoints_.contains(name))
                return;
            if (address) {
                self->viaBonjour_.insert(name,
                                         RemoteMac{QStringLiteral("bonjour:") + name,
                                                   MachineIdentity::fromDisplayName(name), name,
                                                   *address, true, RemoteMac::Source::bonjour});
            } else {
                self->viaBonjour_.remove(name);
            }
            self->recompute();
        });
    };

    // IPv4 first; any protocol only when that finds nothing.
    Connecting& connecting = platform_.connecting;
    resolveAddress(connecting, endpoint, IpProtocol::ipv4,
                   [&connecting, endpoint, finish](std::optional<QString> address) {
                       if (address) {
                           finish(address);
                           return;
                       }
                       resolveAddress(connecting, endpoint, std::nullopt, finish);
                   });
}

void Discovery::resolveAddress(Connecting& connecting, const ServiceEndpoint& endpoint,
                               std::optional<IpProtocol> ipVersion,
                               std::function<void(std::optional<QString>)> completion) {
    // Shared by the state handler and this call; the first decisive state
    // delivers the outcome, later states find the attempt finished.
    struct Attempt {
        std::mutex lock;
        bool finished = false;
        std::unique_ptr<Connection> connection;
        std::function<void(std::optional<QString>)> completion;
    };
    auto attempt = std::make_shared<Attempt>();
    attempt->completion = std::move(completion);

    auto handler = [attempt](ConnectionState state, const std::optional<HostEndpoint>& remote) {
        if (state == ConnectionState::setup || state == ConnectionState::preparing)
            return;
        std::unique_ptr<Connection> connection;
        {
            std::lock_guard guard(attempt->lock);
            if (attempt->finished)
                return;
            attempt->finished = true;
            connection = std::move(attempt->connection);
        }
        // Outside the lock: `waiting` ends the attempt without an address rather
        // than waiting for the platform to retry.
        std::optional<QString> outcome;
        if (state == ConnectionState::ready && remote)
            outcome = urlHostOf(*remote);
        attempt->completion(outcome);
        if (connection)
            connection->cancel();
    };

    std::lock_guard guard(attempt->lock);
    std::unique_ptr<Connection> connection =
        connecting.connect(endpoint, ipVersion, probeTimeout, std::move(handler));
    // Finished before we got here: close the connection now.
    if (attempt->finished)
        connection->cancel();
    else
        attempt->connection = std::move(connection);
}

} // namespace nimbrook

#include "platform/linux/AvahiSession.h"

#include "platform/linux/AvahiCore.h"
#include "platform/linux/CancelHandle.h"
#include "platform/linux/SocketAddress.h"

#include <avahi-common/defs.h>
#include <avahi-common/error.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <utility>

namespace nimbrook {

namespace {

void report(ProbeRecord& record, ConnectionState state,
            const std::optional<HostEndpoint>& remote = {}) {
    // A copy: the handler may cancel, and so release, this very probe.
    const Connecting::StateHandler handler = record.onState;
    if (handler)
        handler(state, remote);
}

void resolveCallback(AvahiServiceResolver* resolver, AvahiIfIndex interface, AvahiProtocol,
                     AvahiResolverEvent event, const char*, const char*, const char*,
                     const char* hostName, const AvahiAddress* address, uint16_t port,
                     AvahiStringList*, AvahiLookupResultFlags, void* userdata) {
    auto& record = *static_cast<ProbeRecord*>(userdata);
    if (record.resolver == resolver) {
        // Avahi allows freeing a resolver from inside its own callback.
        avahi_service_resolver_free(resolver);
        record.resolver = nullptr;
    }
    if (!record.core)
        return;
    if (event == AVAHI_RESOLVER_FOUND && address)
        record.core->onResolved(record, hostName, *address, port, interface);
    else
        record.core->failProbe(record);
}

std::optional<sockaddr_storage> socketAddress(const AvahiAddress& address, uint16_t port,
                                              AvahiIfIndex interface) {
    sockaddr_storage storage{};
    if (address.proto == AVAHI_PROTO_INET) {
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        v4.sin_addr.s_addr = address.data.ipv4.address; // already in network order
        std::memcpy(&storage, &v4, sizeof v4);
        return storage;
    }
    if (address.proto == AVAHI_PROTO_INET6) {
        sockaddr_in6 v6{};
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        std::memcpy(&v6.sin6_addr, address.data.ipv6.address, sizeof v6.sin6_addr);
        // A link-local address means nothing without the interface it is on.
        if (isLinkLocal(v6.sin6_addr) && interface > 0)
            v6.sin6_scope_id = uint32_t(interface);
        std::memcpy(&storage, &v6, sizeof v6);
        return storage;
    }
    return std::nullopt;
}

void addressCallback(AvahiRecordBrowser*, AvahiIfIndex interface, AvahiProtocol,
                     AvahiBrowserEvent event, const char*, uint16_t, uint16_t type,
                     const void* rdata, size_t size, AvahiLookupResultFlags, void* userdata) {
    auto& record = *static_cast<ProbeRecord*>(userdata);
    // Checked by phase, not by handle: the browser may report before its
    // constructor has returned the handle to us.
    if (!record.core || record.phase != ProbeRecord::Phase::collecting)
        return;
    switch (event) {
    case AVAHI_BROWSER_NEW:
        if (type == AVAHI_DNS_TYPE_AAAA && size == sizeof(AvahiIPv6Address)) {
            AvahiAddress address{};
            address.proto = AVAHI_PROTO_INET6;
            std::memcpy(address.data.ipv6.address, rdata, size);
            const AvahiIfIndex scope = record.interface > 0 ? record.interface : interface;
            if (const auto candidate = socketAddress(address, record.port, scope))
                record.candidates.push_back(*candidate);
        }
        return;
    case AVAHI_BROWSER_REMOVE:
        return;
    case AVAHI_BROWSER_CACHE_EXHAUSTED:
    case AVAHI_BROWSER_ALL_FOR_NOW:
    case AVAHI_BROWSER_FAILURE:
        // What the cache holds is what the resolver just learnt: enough to choose.
        record.core->onAddressesCollected(record);
        return;
    }
}

// Interfaces worth asking over IPv4: where the service was seen over IPv4
// first, then the others, each once. A link with no IPv4 address of ours is
// left out: nothing there could answer, and waiting would only delay the
// attempt that can succeed.
std::vector<AvahiIfIndex> ipv4Interfaces(const QList<ServiceSighting>& sightings) {
    std::vector<AvahiIfIndex> interfaces;
    for (const bool overIpv4 : {true, false}) {
        for (const ServiceSighting& sighting : sightings) {
            if ((sighting.protocol == IpProtocol::ipv4) != overIpv4)
                continue;
            const AvahiIfIndex index =
                sighting.interfaceIndex > 0 ? sighting.interfaceIndex : AVAHI_IF_UNSPEC;
            if (std::find(interfaces.begin(), interfaces.end(), index) != interfaces.end())
                continue;
            if (index == AVAHI_IF_UNSPEC || interfaceHasIpv4(index))
                interfaces.push_back(index);
        }
    }
    return interfaces;
}

// Where to ask when any IP version will do: preferably where the service was
// seen over IPv6.
AvahiIfIndex anyVersionInterface(const QList<ServiceSighting>& sightings) {
    for (const ServiceSighting& sighting : sightings) {
        if (sighting.protocol == IpProtocol::ipv6 && sighting.interfaceIndex > 0)
            return sighting.interfaceIndex;
    }
    for (const ServiceSighting& sighting : sightings) {
        if (sighting.interfaceIndex > 0)
            return sighting.interfaceIndex;
    }
    return AVAHI_IF_UNSPEC;
}

// The host of `address`, its port left out.
std::string hostKeyOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        return std::string(reinterpret_cast<const char*>(&v4.sin_addr), sizeof v4.sin_addr);
    }
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    std::string key(reinterpret_cast<const char*>(&v6.sin6_addr), sizeof v6.sin6_addr);
    key.append(reinterpret_cast<const char*>(&v6.sin6_scope_id), sizeof v6.sin6_scope_id);
    return key;
}

// Whether a failed connection means that nothing at the address answered, as
// opposed to a host that answered and refused.
HostOutcome outcomeOf(int error) {
    return error == EHOSTUNREACH || error == ENETUNREACH || error == ETIMEDOUT
               ? HostOutcome::unanswered
               : HostOutcome::answered;
}

} // namespace

std::unique_ptr<Connection> AvahiSession::connect(const ServiceEndpoint& service,
                                                  std::optional<IpProtocol> ipVersion,
                                                  std::chrono::milliseconds timeout,
                                                  StateHandler onState) {
    auto record = std::make_shared<ProbeRecord>();
    record->service = service;
    record->ipVersion = ipVersion;
    record->timeout = timeout;
    record->onState = std::move(onState);
    core_->thread.post([core = core_, record] { core->startProbe(record); });
    return std::make_unique<CancelHandle<Connection, AvahiCore, ProbeRecord>>(core_, record);
}

void AvahiCore::startProbe(const std::shared_ptr<ProbeRecord>& record) {
    if (record->phase != ProbeRecord::Phase::starting || shutDown)
        return;
    record->core = this;
    probes.push_back(record);
    record->phase = ProbeRecord::Phase::resolving;
    report(*record, ConnectionState::preparing);
    if (!connected) {
        failProbe(*record);
        return;
    }

    // One deadline for the whole attempt, resolving and connecting together.
    record->deadline = thread.after(record->timeout, [this, probe = record.get()] {
        failProbe(*probe, HostOutcome::unanswered);
    });

    // The IPv4 attempt asks over IPv4 whichever protocol the service was seen
    // over: a stock avahi-daemon does not answer A queries that arrive over
    // IPv6, so asking there would only wait out the deadline.
    const bool ipv4Only = record->ipVersion == IpProtocol::ipv4;
    AvahiIfIndex interface = AVAHI_IF_UNSPEC;
    AvahiProtocol protocol = AVAHI_PROTO_UNSPEC;
    AvahiProtocol addressProtocol = AVAHI_PROTO_UNSPEC;
    if (ipv4Only) {
        const std::vector<AvahiIfIndex> interfaces = ipv4Interfaces(record->service.sightings);
        if (interfaces.empty() && !record->service.sightings.isEmpty()) {
            failProbe(*record);
            return;
        }
        interface = interfaces.empty() ? AVAHI_IF_UNSPEC : interfaces.front();
        protocol = addressProtocol = AVAHI_PROTO_INET;
    } else {
        interface = anyVersionInterface(record->service.sightings);
        if (record->ipVersion == IpProtocol::ipv6)
            protocol = addressProtocol = AVAHI_PROTO_INET6;
    }

    const QByteArray name = record->service.name.toUtf8();
    const QByteArray type = record->service.type.toUtf8();
    const QByteArray domain = record->service.domain.toUtf8();
    record->resolver =
        avahi_service_resolver_new(client, interface, protocol, name.constData(), type.constData(),
                                   domain.isEmpty() ? nullptr : domain.constData(), addressProtocol,
                                   AVAHI_LOOKUP_NO_TXT, &resolveCallback, record.get());
    if (!record->resolver) {
        qCDebug(lcAvahi, "cannot resolve %s: %s", name.constData(),
                avahi_strerror(avahi_client_errno(client)));
        failProbe(*record);
    }
}

void AvahiCore::onResolved(ProbeRecord& record, const char* serviceHost,
                           const AvahiAddress& address, uint16_t port, AvahiIfIndex interface) {
    if (record.phase != ProbeRecord::Phase::resolving)
        return;
    const std::optional<sockaddr_storage> resolved = socketAddress(address, port, interface);
    if (!resolved) {
        failProbe(record);
        return;
    }
    record.interface = interface;
    record.port = port;
    record.candidates.push_back(*resolved);

    // With any IP version allowed, the resolver's one address may be a
    // link-local one while the host also has a routable IPv6 address: look
    // at all of them first.
    if (record.ipVersion || anyVersionRank(*resolved) == 0 || !serviceHost) {
        connectTo(record, *resolved);
        return;
    }
    record.phase = ProbeRecord::Phase::collecting;
    record.addressBrowser = avahi_record_browser_new(
        client, interface, AVAHI_PROTO_UNSPEC, serviceHost, AVAHI_DNS_CLASS_IN, AVAHI_DNS_TYPE_AAAA,
        AvahiLookupFlags(0), &addressCallback, &record);
    if (!record.addressBrowser)
        onAddressesCollected(record);
}

void AvahiCore::onAddressesCollected(ProbeRecord& record) {
    if (record.phase != ProbeRecord::Phase::collecting)
        return;
    if (record.addressBrowser) {
        // Avahi allows freeing a browser from inside its own callback.
        avahi_record_browser_free(record.addressBrowser);
        record.addressBrowser = nullptr;
    }
    // The resolver's own address is first: it wins ties.
    const auto best = std::min_element(
        record.candidates.begin(), record.candidates.end(),
        [](const auto& a, const auto& b) { return anyVersionRank(a) < anyVersionRank(b); });
    connectTo(record, *best);
}

void AvahiCore::connectTo(ProbeRecord& record, const sockaddr_storage& storage) {
    const auto now = std::chrono::steady_clock::now();
    if (hosts.size() > 64) {
        std::erase_if(hosts, [now](const auto& entry) {
            const HostAttempts& host = entry.second;
            return !host.connecting && host.waiting.empty() && host.unansweredUntil <= now;
        });
    }
    const std::string key = hostKeyOf(storage);
    HostAttempts& host = hosts[key];
    if (now < host.unansweredUntil || (host.connecting && host.slow)) {
        failProbe(record);
        return;
    }
    if (host.connecting) {
        record.phase = ProbeRecord::Phase::connecting;
        record.hostKey = key;
        host.waiting.emplace_back(&record, storage);
        return;
    }
    startConnecting(record, storage, key);
}

void AvahiCore::startConnecting(ProbeRecord& record, const sockaddr_storage& storage,
                                const std::string& hostKey) {
    const socklen_t length =
        storage.ss_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    record.socket.reset(socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!record.socket) {
        qCDebug(lcAvahi, "socket failed: %s", strerror(errno));
        failProbe(record);
        return;
    }
    record.phase = ProbeRecord::Phase::connecting;
    record.hostKey = hostKey;
    HostAttempts& host = hosts[hostKey];
    host.connecting = &record;
    host.slow = false;
    host.patience =
        thread.after(HostAttempts::hostPatience, [this, key = record.hostKey] { onHostSlow(key); });
    int result;
    do {
        result =
            ::connect(record.socket.get(), reinterpret_cast<const sockaddr*>(&storage), length);
    } while (result < 0 && errno == EINTR);
    if (result == 0) {
        onWritable(record);
        return;
    }
    if (errno != EINPROGRESS) {
        const int error = errno;
        qCDebug(lcAvahi, "connect failed: %s", strerror(error));
        failProbe(record, outcomeOf(error));
        return;
    }
    record.watch =
        thread.watchWritable(record.socket.get(), [this, probe = &record] { onWritable(*probe); });
}

void AvahiCore::onHostSlow(const std::string& hostKey) {
    const auto host = hosts.find(hostKey);
    if (host == hosts.end() || !host->second.connecting)
        return;
    host->second.slow = true;
    const auto waiting = std::exchange(host->second.waiting, {});
    for (const auto& [probe, address] : waiting) {
        probe->hostKey.clear();
        failProbe(*probe);
    }
}

void AvahiCore::leaveHost(ProbeRecord& record, HostOutcome outcome) {
    if (record.hostKey.empty())
        return;
    const std::string key = std::exchange(record.hostKey, {});
    const auto found = hosts.find(key);
    if (found == hosts.end())
        return;
    HostAttempts& host = found->second;
    if (host.connecting != &record) {
        std::erase_if(host.waiting, [&](const auto& waiter) { return waiter.first == &record; });
        return;
    }
    host.connecting = nullptr;
    host.patience.reset();
    host.slow = false;
    auto waiting = std::exchange(host.waiting, {});
    if (outcome == HostOutcome::unanswered) {
        host.unansweredUntil = std::chrono::steady_clock::now() + HostAttempts::unansweredMemory;
        for (const auto& [probe, address] : waiting) {
            probe->hostKey.clear();
            failProbe(*probe);
        }
        return;
    }
    if (waiting.empty())
        return;
    // The host answers: the next in line connects, the others wait for it.
    const auto [next, address] = waiting.front();
    waiting.erase(waiting.begin());
    host.waiting = std::move(waiting);
    next->hostKey.clear();
    startConnecting(*next, address, key);
}

void AvahiCore::onWritable(ProbeRecord& record) {
    if (record.phase != ProbeRecord::Phase::connecting)
        return;
    int error = 0;
    socklen_t errorLength = sizeof error;
    if (getsockopt(record.socket.get(), SOL_SOCKET, SO_ERROR, &error, &errorLength) != 0 ||
        error != 0) {
        error = error ? error : errno;
        qCDebug(lcAvahi, "connection failed: %s", strerror(error));
        failProbe(record, outcomeOf(error));
        return;
    }
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    std::optional<HostEndpoint> remote;
    if (getpeername(record.socket.get(), reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0)
        remote =
            hostEndpointFromSocketAddress(reinterpret_cast<const sockaddr*>(&peer), peerLength);
    // Nothing is ever sent: the connection only tells us where the service is.
    record.watch.reset();
    record.deadline.reset();
    record.socket.reset();
    record.phase = ProbeRecord::Phase::ready;
    leaveHost(record, HostOutcome::answered);
    report(record, ConnectionState::ready, remote);
}

void AvahiCore::releaseProbe(ProbeRecord& record, HostOutcome outcome) {
    leaveHost(record, outcome);
    if (record.resolver) {
        avahi_service_resolver_free(record.resolver);
        record.resolver = nullptr;
    }
    if (record.addressBrowser) {
        avahi_record_browser_free(record.addressBrowser);
        record.addressBrowser = nullptr;
    }
    record.watch.reset();
    record.deadline.reset();
    record.socket.reset();
    record.core = nullptr;
    std::erase_if(probes, [&](const auto& entry) { return entry.get() == &record; });
}

void AvahiCore::failProbe(ProbeRecord& record, HostOutcome outcome) {
    if (record.phase == ProbeRecord::Phase::ready || record.phase == ProbeRecord::Phase::failed ||
        record.phase == ProbeRecord::Phase::cancelled)
        return;
    // Releasing drops the list's reference: keep the record alive until the
    // report is out.
    std::shared_ptr<ProbeRecord> keep;
    for (const auto& entry : probes) {
        if (entry.get() == &record)
            keep = entry;
    }
    releaseProbe(record, outcome);
    record.phase = ProbeRecord::Phase::failed;
    report(record, ConnectionState::failed);
}

void AvahiCore::cancelProbe(const std::shared_ptr<ProbeRecord>& record) {
    if (record->phase == ProbeRecord::Phase::cancelled)
        return;
    const bool alreadyFailed = record->phase == ProbeRecord::Phase::failed;
    releaseProbe(*record);
    record->phase = ProbeRecord::Phase::cancelled;
    if (!alreadyFailed)
        report(*record, ConnectionState::cancelled);
}

} // namespace nimbrook

#include "platform/linux/AvahiSession.h"

#include "platform/linux/AvahiCore.h"
#include "platform/linux/SocketAddress.h"

#include <avahi-common/error.h>

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace nimbrook {

namespace {

AvahiProtocol toAvahi(IpProtocol protocol) {
    switch (protocol) {
    case IpProtocol::ipv4:
        return AVAHI_PROTO_INET;
    case IpProtocol::ipv6:
        return AVAHI_PROTO_INET6;
    case IpProtocol::unspecified:
        return AVAHI_PROTO_UNSPEC;
    }
    return AVAHI_PROTO_UNSPEC;
}

void report(ProbeRecord& record, ConnectionState state,
            const std::optional<HostEndpoint>& remote = {}) {
    // A copy: the handler may cancel, and so release, this very probe.
    const Connecting::StateHandler handler = record.onState;
    if (handler)
        handler(state, remote);
}

void resolveCallback(AvahiServiceResolver* resolver, AvahiIfIndex interface, AvahiProtocol,
                     AvahiResolverEvent event, const char*, const char*, const char*, const char*,
                     const AvahiAddress* address, uint16_t port, AvahiStringList*,
                     AvahiLookupResultFlags, void* userdata) {
    auto& record = *static_cast<ProbeRecord*>(userdata);
    if (record.resolver == resolver) {
        // Avahi allows freeing a resolver from inside its own callback.
        avahi_service_resolver_free(resolver);
        record.resolver = nullptr;
    }
    if (!record.core)
        return;
    if (event == AVAHI_RESOLVER_FOUND && address)
        record.core->onResolved(record, *address, port, interface);
    else
        record.core->failProbe(record);
}

bool isLinkLocal(const in6_addr& address) {
    return address.s6_addr[0] == 0xfe && (address.s6_addr[1] & 0xc0) == 0x80;
}

class AvahiConnectionHandle final : public Connection {
public:
    AvahiConnectionHandle(std::weak_ptr<AvahiCore> core, std::shared_ptr<ProbeRecord> record)
        : core_(std::move(core))
        , record_(std::move(record)) {}
    ~AvahiConnectionHandle() override { cancel(); }

    void cancel() override {
        const auto core = core_.lock();
        if (!core || cancelRequested_)
            return;
        cancelRequested_ = true;
        core->thread.runOrPost([core, record = record_] { core->cancelProbe(record); });
    }

private:
    std::weak_ptr<AvahiCore> core_;
    std::shared_ptr<ProbeRecord> record_;
    bool cancelRequested_ = false;
};

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
    return std::make_unique<AvahiConnectionHandle>(core_, record);
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
    record->deadline =
        thread.after(record->timeout, [this, probe = record.get()] { failProbe(*probe); });

    const QByteArray name = record->service.name.toUtf8();
    const QByteArray type = record->service.type.toUtf8();
    const QByteArray domain = record->service.domain.toUtf8();
    const AvahiIfIndex interface =
        record->service.interfaceIndex > 0 ? record->service.interfaceIndex : AVAHI_IF_UNSPEC;
    // Resolve over the protocol the service was seen on: asking for a service
    // seen over IPv6 through IPv4 stalls until the deadline.
    record->resolver = avahi_service_resolver_new(
        client, interface, toAvahi(record->service.protocol), name.constData(), type.constData(),
        domain.isEmpty() ? nullptr : domain.constData(),
        record->ipVersion ? toAvahi(*record->ipVersion) : AVAHI_PROTO_UNSPEC, AVAHI_LOOKUP_NO_TXT,
        &resolveCallback, record.get());
    if (!record->resolver) {
        qCDebug(lcAvahi, "cannot resolve %s: %s", name.constData(),
                avahi_strerror(avahi_client_errno(client)));
        failProbe(*record);
    }
}

void AvahiCore::onResolved(ProbeRecord& record, const AvahiAddress& address, uint16_t port,
                           AvahiIfIndex interface) {
    if (record.phase != ProbeRecord::Phase::resolving)
        return;
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.proto == AVAHI_PROTO_INET) {
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        v4.sin_addr.s_addr = address.data.ipv4.address; // already in network order
        std::memcpy(&storage, &v4, sizeof v4);
        length = sizeof v4;
    } else if (address.proto == AVAHI_PROTO_INET6) {
        sockaddr_in6 v6{};
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        std::memcpy(&v6.sin6_addr, address.data.ipv6.address, sizeof v6.sin6_addr);
        // A link-local address means nothing without the interface it is on.
        if (isLinkLocal(v6.sin6_addr) && interface > 0)
            v6.sin6_scope_id = uint32_t(interface);
        std::memcpy(&storage, &v6, sizeof v6);
        length = sizeof v6;
    } else {
        failProbe(record);
        return;
    }

    record.socket.reset(socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!record.socket) {
        qCDebug(lcAvahi, "socket failed: %s", strerror(errno));
        failProbe(record);
        return;
    }
    record.phase = ProbeRecord::Phase::connecting;
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
        qCDebug(lcAvahi, "connect failed: %s", strerror(errno));
        failProbe(record);
        return;
    }
    record.watch =
        thread.watchWritable(record.socket.get(), [this, probe = &record] { onWritable(*probe); });
}

void AvahiCore::onWritable(ProbeRecord& record) {
    if (record.phase != ProbeRecord::Phase::connecting)
        return;
    int error = 0;
    socklen_t errorLength = sizeof error;
    if (getsockopt(record.socket.get(), SOL_SOCKET, SO_ERROR, &error, &errorLength) != 0 ||
        error != 0) {
        qCDebug(lcAvahi, "connection failed: %s", strerror(error ? error : errno));
        failProbe(record);
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
    report(record, ConnectionState::ready, remote);
}

void AvahiCore::releaseProbe(ProbeRecord& record) {
    if (record.resolver) {
        avahi_service_resolver_free(record.resolver);
        record.resolver = nullptr;
    }
    record.watch.reset();
    record.deadline.reset();
    record.socket.reset();
    record.core = nullptr;
    std::erase_if(probes, [&](const auto& entry) { return entry.get() == &record; });
}

void AvahiCore::failProbe(ProbeRecord& record) {
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
    releaseProbe(record);
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

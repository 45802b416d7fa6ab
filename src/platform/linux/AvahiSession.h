#pragma once

#include "platform/Connecting.h"
#include "platform/LocalNames.h"
#include "platform/ServiceBrowsing.h"

#include <memory>

namespace nimbrook {

class NetworkThread;
struct AvahiCore;

// DNS-SD browsing, service probes and this computer's names through the Avahi
// daemon, on the network thread. The daemon may come and go: when it goes,
// browsers deliver an empty result set and report `waiting`, and probes fail;
// the client reconnects by itself (and is recreated every few seconds when even
// the system bus is missing), and waiting browsers start again when it does.
class AvahiSession final : public ServiceBrowsing, public Connecting, public LocalNames {
public:
    // `machineInfoPath` holds the user-visible computer name (PRETTY_HOSTNAME).
    explicit AvahiSession(NetworkThread& thread,
                          QString machineInfoPath = QStringLiteral("/etc/machine-info"));
    ~AvahiSession() override;

    // Frees every Avahi object. Call after the network thread has stopped.
    void shutdown();

    std::unique_ptr<ServiceBrowser> browse(const QString& serviceType, Handlers handlers) override;
    std::unique_ptr<Connection> connect(const ServiceEndpoint& service,
                                        std::optional<IpProtocol> ipVersion,
                                        std::chrono::milliseconds timeout,
                                        StateHandler onState) override;

    // Avahi's host name while the daemon answers, else gethostname().
    std::optional<QString> localHostName() const override;
    std::optional<QString> computerName() const override;

    // PRETTY_HOSTNAME from a machine-info file's contents, if set.
    static std::optional<QString> prettyHostname(const QByteArray& machineInfo);

private:
    std::shared_ptr<AvahiCore> core_;
    QString machineInfoPath_;
};

} // namespace nimbrook

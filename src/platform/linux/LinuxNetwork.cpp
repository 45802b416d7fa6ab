#include "platform/linux/LinuxNetwork.h"

#include "platform/linux/AvahiSession.h"
#include "platform/linux/NetlinkPathMonitoring.h"
#include "platform/linux/NetworkThread.h"

namespace nimbrook {

struct LinuxNetwork::Backends {
    NetworkThread thread;
    AvahiSession avahi{thread};
    NetlinkPathMonitoring paths{thread};

    ~Backends() {
        // Stop the thread first; then nothing runs while the Avahi objects and
        // sockets that lived on it are freed here.
        thread.stop();
        avahi.shutdown();
    }
};

LinuxNetwork::LinuxNetwork() = default;

LinuxNetwork::~LinuxNetwork() = default;

LinuxNetwork::Backends& LinuxNetwork::backends() const {
    std::call_once(made_, [this] { backends_ = std::make_unique<Backends>(); });
    return *backends_;
}

std::unique_ptr<ServiceBrowser> LinuxNetwork::browse(const QString& serviceType,
                                                     Handlers handlers) {
    return backends().avahi.browse(serviceType, std::move(handlers));
}

std::unique_ptr<Connection> LinuxNetwork::connect(const ServiceEndpoint& service,
                                                  std::optional<IpProtocol> ipVersion,
                                                  std::chrono::milliseconds timeout,
                                                  StateHandler onState) {
    return backends().avahi.connect(service, ipVersion, timeout, std::move(onState));
}

std::optional<QString> LinuxNetwork::localHostName() const {
    return backends().avahi.localHostName();
}

std::optional<QString> LinuxNetwork::computerName() const {
    return backends().avahi.computerName();
}

std::unique_ptr<PathMonitor> LinuxNetwork::start(std::function<void(const NetworkPath&)> onUpdate) {
    return backends().paths.start(std::move(onUpdate));
}

} // namespace nimbrook

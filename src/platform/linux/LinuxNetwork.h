#pragma once

#include "platform/Connecting.h"
#include "platform/LocalNames.h"
#include "platform/PathMonitoring.h"
#include "platform/ServiceBrowsing.h"

#include <memory>
#include <mutex>

namespace nimbrook {

// The Linux network backends on one network thread: Avahi for browsing,
// probes and local names, rtnetlink for the path. The thread, the daemon's
// client and the netlink socket are made at the first call, not before: a
// tray app whose list nobody has asked for yet holds none of them. As
// thread-safe as the interfaces say. Destroy after every object that uses it.
class LinuxNetwork final : public ServiceBrowsing,
                           public Connecting,
                           public LocalNames,
                           public PathMonitoring {
public:
    LinuxNetwork();
    ~LinuxNetwork() override;

    ServiceBrowsing& serviceBrowsing() { return *this; }
    Connecting& connecting() { return *this; }
    LocalNames& localNames() { return *this; }
    PathMonitoring& pathMonitoring() { return *this; }

    std::unique_ptr<ServiceBrowser> browse(const QString& serviceType, Handlers handlers) override;
    std::unique_ptr<Connection> connect(const ServiceEndpoint& service,
                                        std::optional<IpProtocol> ipVersion,
                                        std::chrono::milliseconds timeout,
                                        StateHandler onState) override;
    std::optional<QString> localHostName() const override;
    std::optional<QString> computerName() const override;
    std::unique_ptr<PathMonitor> start(std::function<void(const NetworkPath&)> onUpdate) override;

private:
    struct Backends;
    Backends& backends() const;

    mutable std::once_flag made_;
    mutable std::unique_ptr<Backends> backends_;
};

} // namespace nimbrook

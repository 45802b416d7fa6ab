#pragma once

#include "platform/Connecting.h"
#include "platform/LocalNames.h"
#include "platform/PathMonitoring.h"
#include "platform/ServiceBrowsing.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace nimbrook::testing {

// Records every browser it creates; the test plays the network thread by
// calling the recorded handlers.
class FakeServiceBrowsing final : public ServiceBrowsing {
public:
    struct Record {
        QString serviceType;
        Handlers handlers;
        bool cancelled = false;

        void reportState(BrowserState state) const { handlers.onState(state); }
        void reportResults(const QList<ServiceEndpoint>& results) const {
            if (handlers.onResults)
                handlers.onResults(results);
        }
    };

    std::unique_ptr<ServiceBrowser> browse(const QString& serviceType, Handlers handlers) override;

    int createdCount() const { return int(records_.size()); }
    // Browsers made and not cancelled.
    int liveCount() const {
        return int(std::count_if(records_.cbegin(), records_.cend(),
                                 [](const auto& record) { return !record->cancelled; }));
    }
    Record& browser(int index) { return *records_.at(index); }
    Record& latest() { return *records_.back(); }

private:
    std::vector<std::shared_ptr<Record>> records_;
};

class FakePathMonitoring final : public PathMonitoring {
public:
    struct Record {
        std::function<void(const NetworkPath&)> onUpdate;
        bool cancelled = false;

        void report(const NetworkPath& path) const { onUpdate(path); }
    };

    std::unique_ptr<PathMonitor> start(std::function<void(const NetworkPath&)> onUpdate) override;

    int createdCount() const { return int(records_.size()); }
    Record& monitor(int index) { return *records_.at(index); }
    Record& latest() { return *records_.back(); }

private:
    std::vector<std::shared_ptr<Record>> records_;
};

// Records every connection; the test plays the network thread by reporting
// states through the recorded handler.
class FakeConnecting final : public Connecting {
public:
    struct Record {
        ServiceEndpoint service;
        std::optional<IpProtocol> ipVersion;
        std::chrono::milliseconds timeout;
        StateHandler onState;
        bool cancelled = false;
        bool failed = false; // told `failed`: cancelling says nothing more

        void report(ConnectionState state, std::optional<HostEndpoint> remote = std::nullopt) {
            failed = failed || state == ConnectionState::failed;
            onState(state, remote);
        }
    };

    // Pending handlers hold whatever waits on them, which may hold the
    // connection, which holds the record: let go of them.
    ~FakeConnecting() override;

    std::unique_ptr<Connection> connect(const ServiceEndpoint& service,
                                        std::optional<IpProtocol> ipVersion,
                                        std::chrono::milliseconds timeout,
                                        StateHandler onState) override;

    int createdCount() const { return int(records_.size()); }
    Record& connection(int index) { return *records_.at(std::size_t(index)); }
    Record& latest() { return *records_.back(); }
    // Connections to the service with this name, oldest first.
    std::vector<Record*> to(const QString& name);

private:
    std::vector<std::shared_ptr<Record>> records_;
};

class FakeLocalNames final : public LocalNames {
public:
    std::optional<QString> localHostName() const override { return hostName; }
    std::optional<QString> computerName() const override { return computer; }

    std::optional<QString> hostName;
    std::optional<QString> computer;
};

} // namespace nimbrook::testing

#pragma once

#include "platform/PathMonitoring.h"
#include "platform/ServiceBrowsing.h"

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

} // namespace nimbrook::testing

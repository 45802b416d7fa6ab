#include "FakeNetwork.h"

namespace nimbrook::testing {

namespace {

class FakeBrowser final : public ServiceBrowser {
public:
    explicit FakeBrowser(std::shared_ptr<FakeServiceBrowsing::Record> record)
        : record_(std::move(record)) {}
    ~FakeBrowser() override { cancel(); }

    // Like the real thing, a cancelled browser says so once, afterwards.
    void cancel() override {
        if (record_->cancelled)
            return;
        record_->cancelled = true;
        record_->reportState(BrowserState::cancelled);
    }

private:
    std::shared_ptr<FakeServiceBrowsing::Record> record_;
};

class FakeMonitor final : public PathMonitor {
public:
    explicit FakeMonitor(std::shared_ptr<FakePathMonitoring::Record> record)
        : record_(std::move(record)) {}
    ~FakeMonitor() override { cancel(); }
    void cancel() override { record_->cancelled = true; }

private:
    std::shared_ptr<FakePathMonitoring::Record> record_;
};

class FakeConnection final : public Connection {
public:
    explicit FakeConnection(std::shared_ptr<FakeConnecting::Record> record)
        : record_(std::move(record)) {}
    ~FakeConnection() override { cancel(); }

    void cancel() override {
        if (record_->cancelled)
            return;
        record_->cancelled = true;
        // As the real backend: no `cancelled` after `failed`.
        if (record_->onState && !record_->failed)
            record_->report(ConnectionState::cancelled);
    }

private:
    std::shared_ptr<FakeConnecting::Record> record_;
};

} // namespace

FakeConnecting::~FakeConnecting() {
    // Moved out first: destroying a handler can cancel its own connection,
    // which looks at the handler.
    std::vector<StateHandler> handlers;
    for (const auto& record : records_)
        handlers.push_back(std::exchange(record->onState, nullptr));
}

std::unique_ptr<Connection> FakeConnecting::connect(const ServiceEndpoint& service,
                                                    std::optional<IpProtocol> ipVersion,
                                                    std::chrono::milliseconds timeout,
                                                    StateHandler onState) {
    auto record =
        std::make_shared<Record>(Record{service, ipVersion, timeout, std::move(onState), false});
    records_.push_back(record);
    return std::make_unique<FakeConnection>(std::move(record));
}

std::vector<FakeConnecting::Record*> FakeConnecting::to(const QString& name) {
    std::vector<Record*> found;
    for (const auto& record : records_) {
        if (record->service.name == name)
            found.push_back(record.get());
    }
    return found;
}

std::unique_ptr<ServiceBrowser> FakeServiceBrowsing::browse(const QString& serviceType,
                                                            Handlers handlers) {
    auto record = std::make_shared<Record>(Record{serviceType, std::move(handlers), false});
    records_.push_back(record);
    return std::make_unique<FakeBrowser>(std::move(record));
}

std::unique_ptr<PathMonitor>
FakePathMonitoring::start(std::function<void(const NetworkPath&)> onUpdate) {
    auto record = std::make_shared<Record>(Record{std::move(onUpdate), false});
    records_.push_back(record);
    return std::make_unique<FakeMonitor>(std::move(record));
}

} // namespace nimbrook::testing

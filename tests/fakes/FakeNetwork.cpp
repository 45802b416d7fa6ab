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

} // namespace

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

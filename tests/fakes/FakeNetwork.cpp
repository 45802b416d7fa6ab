#include "FakeNetwork.h"

namespace nimbrook::testing {

namespace {

// Marks its record cancelled once, and then says what the real backend says
// when cancelled; destroying it cancels it.
template <typename Interface, typename Record> class FakeHandle final : public Interface {
public:
    FakeHandle(std::shared_ptr<Record> record, void (*onCancel)(Record&))
        : record_(std::move(record))
        , onCancel_(onCancel) {}
    ~FakeHandle() override { cancel(); }
    void cancel() override {
        if (std::exchange(record_->cancelled, true))
            return;
        onCancel_(*record_);
    }

private:
    std::shared_ptr<Record> record_;
    void (*onCancel_)(Record&);
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
    // As the real backend: no `cancelled` after `failed`.
    return std::make_unique<FakeHandle<Connection, Record>>(std::move(record), [](Record& r) {
        if (r.onState && !r.failed)
            r.report(ConnectionState::cancelled);
    });
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
    return std::make_unique<FakeHandle<ServiceBrowser, Record>>(
        std::move(record), [](Record& r) { r.reportState(BrowserState::cancelled); });
}

std::unique_ptr<PathMonitor>
FakePathMonitoring::start(std::function<void(const NetworkPath&)> onUpdate) {
    auto record = std::make_shared<Record>(Record{std::move(onUpdate), false});
    records_.push_back(record);
    return std::make_unique<FakeHandle<PathMonitor, Record>>(std::move(record), [](Record&) {});
}

} // namespace nimbrook::testing

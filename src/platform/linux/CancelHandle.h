#pragma once

#include <atomic>
#include <memory>

namespace nimbrook {

// The handle of something that lives on the network thread (a browser, a
// probe, a path monitor): cancel() may be called from any thread, acts once,
// and runs `Owner::cancel(record)` on the network thread; destroying the
// handle cancels too. A handle whose owner is gone does nothing.
//
// `Owner` has a `thread` (NetworkThread&) and `void cancel(const
// std::shared_ptr<Record>&)`; when `Record` has an atomic `cancelled`, it is
// set at once, so that the network thread starts no more work for it even
// before the cancellation runs there.
template <typename Interface, typename Owner, typename Record>
class CancelHandle final : public Interface {
public:
    CancelHandle(std::weak_ptr<Owner> owner, std::shared_ptr<Record> record)
        : owner_(std::move(owner))
        , record_(std::move(record)) {}
    ~CancelHandle() override { cancel(); }

    void cancel() override {
        const std::shared_ptr<Owner> owner = owner_.lock();
        if (!owner || cancelRequested_.exchange(true))
            return;
        if constexpr (requires { record_->cancelled.store(true); })
            record_->cancelled.store(true);
        owner->thread.runOrPost([owner, record = record_] { owner->cancel(record); });
    }

private:
    std::weak_ptr<Owner> owner_;
    std::shared_ptr<Record> record_;
    std::atomic<bool> cancelRequested_{false};
};

} // namespace nimbrook

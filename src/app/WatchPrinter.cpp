#include "app/WatchPrinter.h"

#include "app/ListFormat.h"
#include "platform/ThreadPriority.h"

namespace nimbrook {

WatchPrinter::WatchPrinter(bool json, std::FILE* output)
    : json_(json)
    , output_(output)
    , thread_([this] { run(); }) {
}

WatchPrinter::~WatchPrinter() {
    {
        const std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void WatchPrinter::submit(Snapshot snapshot) {
    {
        const std::lock_guard lock(mutex_);
        waiting_ = std::move(snapshot);
    }
    wake_.notify_one();
}

QByteArray WatchPrinter::format(const Snapshot& snapshot, bool json) {
    if (json)
        return ListFormat::json(snapshot.macs, snapshot.tailscaleState, snapshot.isPolling) + '\n';
    return ListFormat::text(snapshot.macs, snapshot.tailscaleState, snapshot.listing).toUtf8() +
           '\n';
}

void WatchPrinter::run() {
    lowerCurrentThreadPriority();
    QByteArray last;
    for (;;) {
        std::optional<Snapshot> next;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return waiting_.has_value() || finishing_; });
            if (!waiting_)
                return; // finishing, nothing left
            next = std::move(waiting_);
            waiting_.reset();
        }
        QByteArray line = format(*next, json_);
        // The snapshot may hold the last references to records the main thread
        // has replaced: let them go here, not there.
        next.reset();
        if (line == last)
            continue;
        std::fwrite(line.constData(), 1, std::size_t(line.size()), output_);
        std::fflush(output_);
        last = std::move(line);
    }
}

} // namespace nimbrook

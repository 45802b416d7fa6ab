#pragma once

#include "model/RemoteMac.h"
#include "model/StatusText.h"
#include "model/TailscaleState.h"

#include <QByteArray>
#include <QList>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

namespace nimbrook {

// Prints the lists of `nimbrook --watch` on a thread of its own: formatting
// thousands of machines, or a reader that falls behind, must not hold up the
// event loop. A list that differs from the last one printed is written as one
// line. While a write is under way, newer lists replace the one waiting, so a
// slow reader skips states in between but always catches up with the latest.
class WatchPrinter {
public:
    struct Snapshot {
        QList<RemoteMac> macs; // shared with the caller, not copied
        TailscaleState tailscaleState = TailscaleState::searching;
        bool isPolling = false;
        Listing listing = Listing::macs;
    };

    WatchPrinter(bool json, std::FILE* output);
    // Prints what is still waiting, then ends the thread.
    ~WatchPrinter();
    WatchPrinter(const WatchPrinter&) = delete;
    WatchPrinter& operator=(const WatchPrinter&) = delete;

    void submit(Snapshot snapshot);

    // The line a snapshot prints as, newline included.
    static QByteArray format(const Snapshot& snapshot, bool json);

private:
    void run();

    const bool json_;
    std::FILE* const output_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Snapshot> waiting_; // guarded by mutex_
    bool finishing_ = false;          // guarded by mutex_
    std::thread thread_;              // last: starts once the rest is ready
};

} // namespace nimbrook

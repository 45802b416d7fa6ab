#pragma once

#include "platform/NetworkTypes.h"

#include <functional>
#include <memory>

namespace nimbrook {

enum class BrowserState { setup, ready, waiting, failed, cancelled };

// A running DNS-SD browser. Destroying the handle cancels it.
class ServiceBrowser {
public:
    virtual ~ServiceBrowser() = default;
    // Stops browsing. The state handler then receives `cancelled` (also after a
    // failure); no results follow. Idempotent.
    virtual void cancel() = 0;
};

// Browsing for one DNS-SD service type in the default domains, on every
// interface and protocol.
class ServiceBrowsing {
public:
    struct Handlers {
        // Each new state of the browser. After `failed` the result set is no
        // longer maintained. A browser whose service daemon went away reports
        // `waiting` after an empty result set, and browses again by itself.
        std::function<void(BrowserState)> onState;
        // The complete current result set, after every change: one endpoint
        // per service instance, with every sighting of it.
        std::function<void(const QList<ServiceEndpoint>&)> onResults;
    };

    virtual ~ServiceBrowsing() = default;

    // Creates and starts a browser. Both handlers are called on the network
    // thread, never inline from this call, and must not touch main-thread state.
    // Never fails here: a browser that cannot run reports `failed`.
    virtual std::unique_ptr<ServiceBrowser> browse(const QString& serviceType,
                                                   Handlers handlers) = 0;
};

} // namespace nimbrook

#include "discovery/Discovery.h"

#include "platform/ServiceBrowsing.h"

#include <QPointer>

namespace nimbrook {

void Discovery::startBonjour() {
    if (browser_)
        browser_->cancel();
    const std::int64_t generation = ++browserGeneration_;

    ServiceBrowsing::Handlers handlers;
    handlers.onState = [self = QPointer<Discovery>(this), &scheduler = platform_.scheduler,
                        generation](BrowserState state) {
        // Runs on the network thread: only hand the fact to the main thread.
        if (state != BrowserState::failed && state != BrowserState::cancelled)
            return;
        scheduler.post([self, generation] {
            if (self)
                self->replaceFailedBrowser(generation);
        });
    };
    browser_ = platform_.serviceBrowsing.browse(serviceType, std::move(handlers));
}

void Discovery::replaceFailedBrowser(std::int64_t generation) {
    // A browser we cancelled ourselves reports `cancelled` after the generation
    // has moved on; that report ends here.
    if (generation != browserGeneration_)
        return;
    if (browser_) {
        browser_->cancel();
        browser_.reset();
    }
    // No retry here: the next tick starts a new browser.
    forgetBonjourResults();
}

void Discovery::forgetBonjourResults() {
    ++browserGeneration_;
    bonjourEndpoints_.clear();
    resolving_.clear();
    viaBonjour_.clear();
    recompute();
}

} // namespace nimbrook

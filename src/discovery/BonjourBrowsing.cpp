#include "discovery/Discovery.h"

#include "model/MachineIdentity.h"
#include "platform/LocalNames.h"
#include "platform/ServiceBrowsing.h"

#include <QPointer>

#include <mutex>
#include <optional>

namespace nimbrook {

namespace {

// Every name whose identity another name shares.
QSet<QString> collidingBonjourNames(const QStringList& names) {
    QHash<QString, QStringList> byIdentity;
    for (const QString& name : names)
        byIdentity[MachineIdentity::fromDisplayName(name)].append(name);
    QSet<QString> colliding;
    for (const QStringList& group : std::as_const(byIdentity)) {
        if (group.size() > 1)
            colliding.unite(QSet<QString>(group.cbegin(), group.cend()));
    }
    return colliding;
}

// The identities of this computer, from its current names (never "").
QSet<QString> localIdentities(const LocalNames& localNames) {
    QSet<QString> identities;
    if (const std::optional<QString> host = localNames.localHostName())
        identities.insert(MachineIdentity::fromHostname(*host));
    if (const std::optional<QString> computer = localNames.computerName())
        identities.insert(MachineIdentity::fromDisplayName(*computer));
    identities.remove(QString());
    return identities;
}

} // namespace

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
    // A crowded link announces hundreds of services within a second, each time
    // with the whole set: only the newest set waiting for the main thread is
    // taken.
    struct Latest {
        std::mutex lock;
        std::optional<QList<ServiceEndpoint>> results;
    };
    handlers.onResults =
        [self = QPointer<Discovery>(this), &scheduler = platform_.scheduler, generation,
         latest = std::make_shared<Latest>()](const QList<ServiceEndpoint>& results) {
            {
                std::lock_guard guard(latest->lock);
                const bool queued = latest->results.has_value();
                latest->results = results;
                if (queued)
                    return;
            }
            scheduler.post([self, generation, latest] {
                std::optional<QList<ServiceEndpoint>> newest;
                {
                    std::lock_guard guard(latest->lock);
                    newest.swap(latest->results);
                }
                if (self && newest)
                    self->applyBrowseResults(*newest, generation);
            });
        };
    browser_ = platform_.serviceBrowsing.browse(serviceType, std::move(handlers));
}

void Discovery::applyBrowseResults(const QList<ServiceEndpoint>& results, std::int64_t generation) {
    if (generation != browserGeneration_)
        return;
    const QSet<QString> local = localIdentities(platform_.localNames);

    QHash<QString, ServiceEndpoint> accepted;
    QStringList order; // names in first-met order, for the collision check
    for (const ServiceEndpoint& endpoint : results) {
        // One service seen on several interfaces or protocols: the first wins.
        if (accepted.contains(endpoint.name))
            continue;
        // This computer's own screen-sharing service.
        if (local.contains(MachineIdentity::fromDisplayName(endpoint.name)))
            continue;
        accepted.insert(endpoint.name, endpoint);
        order.append(endpoint.name);
    }
    for (const QString& name : collidingBonjourNames(order))
        accepted.remove(name);

    // A name that is new, or announced anew, is looked up at once whatever
    // came before; one that went stops costing anything.
    for (const QString& name : std::as_const(order)) {
        const auto endpoint = accepted.constFind(name);
        if (endpoint == accepted.cend())
            continue;
        const auto previous = bonjourEndpoints_.constFind(name);
        if (previous != bonjourEndpoints_.cend() && *previous == *endpoint)
            continue;
        if (!viaBonjour_.contains(name)) {
            forgetProbing(name);
            unprobed_.push_back(name);
        }
    }
    for (auto previous = bonjourEndpoints_.cbegin(); previous != bonjourEndpoints_.cend();
         ++previous) {
        if (!accepted.contains(previous.key()))
            forgetProbing(previous.key());
    }
    bonjourEndpoints_ = std::move(accepted);
    const qsizetype known = viaBonjour_.size();
    viaBonjour_.removeIf([this](const QHash<QString, RemoteMac>::iterator& entry) {
        return !bonjourEndpoints_.contains(entry.key());
    });
    if (viaBonjour_.size() != known)
        recompute();
    resolveOutstanding();
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
    for (const InFlightProbe& probe : std::as_const(resolving_))
        probe.probe->cancel();
    resolving_.clear();
    retries_.clear();
    unprobed_.clear();
    viaBonjour_.clear();
    recompute();
}

} // namespace nimbrook

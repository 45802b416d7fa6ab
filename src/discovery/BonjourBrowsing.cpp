#include "discovery/Discovery.h"

#include "model/MachineIdentity.h"
#include "platform/LocalNames.h"
#include "platform/ServiceBrowsing.h"

#include <QPointer>

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
    handlers.onResults = [self = QPointer<Discovery>(this), &scheduler = platform_.scheduler,
                          generation](const QList<ServiceEndpoint>& results) {
        scheduler.post([self, generation, results] {
            if (self)
                self->applyBrowseResults(results, generation);
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

    bonjourEndpoints_ = std::move(accepted);
    viaBonjour_.removeIf([this](const QHash<QString, RemoteMac>::iterator& entry) {
        return !bonjourEndpoints_.contains(entry.key());
    });
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
    resolving_.clear();
    viaBonjour_.clear();
    recompute();
}

} // namespace nimbrook

#include "discovery/Discovery.h"

#include "model/MachineIdentity.h"

#include <QPointer>

#include <algorithm>
#include <vector>

namespace nimbrook {

namespace {

// 5 s after the first failure, then twice as long each time, up to the longest.
std::chrono::seconds retryDelay(int failures) {
    auto delay = Discovery::firstRetryDelay;
    for (int i = 1; i < failures && delay < Discovery::longestRetryDelay; ++i)
        delay *= 2;
    return std::min(delay, std::chrono::seconds(Discovery::longestRetryDelay));
}

} // namespace

void Discovery::resolveOutstanding() {
    const auto needsLookup = [this](const QString& name) {
        return bonjourEndpoints_.contains(name) && !viaBonjour_.contains(name) &&
               !resolving_.contains(name);
    };
    while (resolving_.size() < maxProbesInFlight && !unprobed_.empty()) {
        const QString name = std::move(unprobed_.front());
        unprobed_.pop_front();
        if (needsLookup(name) && !retries_.contains(name))
            resolve(name, bonjourEndpoints_.value(name));
    }
    if (resolving_.size() >= maxProbesInFlight || retries_.isEmpty())
        return;

    const auto now = platform_.scheduler.now();
    std::vector<std::pair<ContinuousClock::time_point, QString>> due;
    for (auto retry = retries_.cbegin(); retry != retries_.cend(); ++retry) {
        if (retry->due <= now && needsLookup(retry.key()))
            due.emplace_back(retry->due, retry.key());
    }
    std::sort(due.begin(), due.end());
    for (const auto& [when, name] : due) {
        if (resolving_.size() >= maxProbesInFlight)
            break;
        resolve(name, bonjourEndpoints_.value(name));
    }
}

void Discovery::resolve(const QString& name, const ServiceEndpoint& endpoint) {
    const std::int64_t generation = browserGeneration_;
    const std::uint64_t serial = ++probeSerial_;
    // Back on the main thread with whatever the probes found.
    auto finish = [self = QPointer<Discovery>(this), &scheduler = platform_.scheduler, name,
                   generation, serial](std::optional<QString> address) {
        scheduler.post([self, name, generation, serial, address] {
            if (self && generation == self->browserGeneration_)
                self->applyProbeResult(name, serial, address);
        });
    };
    resolving_.insert(name, InFlightProbe{ServiceProbe::start(platform_.connecting, endpoint,
                                                              probeTimeout, std::move(finish)),
                                          serial});
}

void Discovery::applyProbeResult(const QString& name, std::uint64_t serial,
                                 const std::optional<QString>& address) {
    const auto probe = resolving_.constFind(name);
    // Withdrawn, or looked up afresh, while we were probing.
    if (probe == resolving_.cend() || probe->serial != serial)
        return;
    resolving_.erase(probe);
    if (address) {
        retries_.remove(name);
        viaBonjour_.insert(name, RemoteMac{QStringLiteral("bonjour:") + name,
                                           MachineIdentity::fromDisplayName(name), name, *address,
                                           true, RemoteMac::Source::bonjour});
        recompute();
    } else {
        ProbeRetry& retry = retries_[name];
        ++retry.failures;
        retry.due = platform_.scheduler.now() + retryDelay(retry.failures);
    }
    resolveOutstanding();
}

void Discovery::forgetProbing(const QString& name) {
    if (const auto probe = resolving_.constFind(name); probe != resolving_.cend()) {
        probe->probe->cancel();
        resolving_.erase(probe);
    }
    retries_.remove(name);
}

} // namespace nimbrook

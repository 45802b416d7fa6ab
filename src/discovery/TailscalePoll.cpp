#include "discovery/Discovery.h"

#include "platform/ToolRunner.h"

#include <QPointer>

namespace nimbrook {

void Discovery::refresh() {
    refreshTailscale();
    if (hasStarted()) {
        forgetBonjourResults();
        startBonjour();
    }
}

void Discovery::refreshTailscale() {
    const auto now = platform_.scheduler.now();
    // A younger poll is still running; an older one is abandoned and its result
    // will fail the generation test.
    if (inFlightPoll_ && now - inFlightPoll_->startedAt < stalePollAge)
        return;

    const std::optional<QString> tool =
        locateTailscaleCli(platform_.fileSystem, platform_.userDefaults);
    if (!tool) {
        inFlightPoll_.reset();
        setIsPolling(false);
        setTailscaleState(TailscaleState::notInstalled);
        viaTailscale_.clear();
        sortedTailscale_ = {};
        recompute();
        return;
    }

    const std::int64_t generation = ++pollGeneration_;
    inFlightPoll_ = InFlightPoll{generation, now};
    setIsPolling(true);

    run(*tool, {QStringLiteral("status"), QStringLiteral("--json")},
        [self = QPointer<Discovery>(this), &scheduler = platform_.scheduler, generation,
         decoder = decoder_, systems = preferences_.operatingSystems()](QByteArray output) mutable {
            // On the worker thread: decoding and sorting are pure, and a large
            // report must not hold up the main thread. No value we read comes
            // near 64 KiB; a longer one would only cost its size several times
            // over in the decoded document, so it is cut first, in place.
            shortenLongJsonStrings(output, maxJsonString);
            const StatusReport report = decoder->decode(output, systems);
            scheduler.post([self, generation, state = report.state,
                            machines = tailscaleMachines(report.macs)]() mutable {
                if (self)
                    self->applyPollResult(generation, state, std::move(machines));
            });
        });
}

Discovery::TailscaleMachines Discovery::tailscaleMachines(const QList<RemoteMac>& reported) {
    // Two peers with one DNS name: the first by name wins.
    QHash<QString, RemoteMac> byId;
    byId.reserve(reported.size());
    QList<RemoteMac> kept;
    kept.reserve(reported.size());
    for (const RemoteMac& mac : reported) {
        if (byId.contains(mac.id))
            continue;
        byId.insert(mac.id, mac);
        kept.append(mac);
    }
    return TailscaleMachines{std::move(byId), SortedTailscale(kept)};
}

void Discovery::applyPollResult(std::int64_t generation, TailscaleState state,
                                TailscaleMachines machines) {
    // A newer poll is under way and owns inFlightPoll and isPolling.
    if (generation != pollGeneration_)
        return;
    inFlightPoll_.reset();
    setIsPolling(false);
    setTailscaleState(state);
    viaTailscale_ = std::move(machines.byId);
    sortedTailscale_ = std::move(machines.sorted);
    recompute();
}

void Discovery::run(const QString& path, const QStringList& arguments,
                    std::function<void(QByteArray)> completion) {
    platform_.toolRunner.run(path, arguments, toolTimeLimit, toolKillGrace, std::move(completion));
}

} // namespace nimbrook

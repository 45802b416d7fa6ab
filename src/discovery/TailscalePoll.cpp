#include "discovery/Discovery.h"

#include "platform/ToolRunner.h"

#include <QLoggingCategory>
#include <QPointer>

namespace nimbrook {

namespace {
Q_LOGGING_CATEGORY(lcTailscale, "nimbrook.tailscale", QtWarningMsg)
} // namespace

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
            output = QByteArray(); // no longer needed while the records are sorted
            if (report.leftOut > 0)
                qCWarning(lcTailscale,
                          "the Tailscale report lists %lld more machines than the "
                          "%lld shown; they are left out",
                          static_cast<long long>(report.leftOut),
                          static_cast<long long>(maxListedMachines));
            scheduler.post([self, generation, state = report.state,
                            machines = tailscaleMachines(report.macs)]() mutable {
                if (self)
                    self->applyPollResult(generation, state, std::move(machines));
            });
        });
}

SortedTailscale Discovery::tailscaleMachines(const QList<RemoteMac>& reported) {
    // Two peers with one DNS name: the first by name wins.
    QSet<QString> ids;
    ids.reserve(reported.size());
    QList<RemoteMac> kept;
    kept.reserve(reported.size());
    for (const RemoteMac& mac : reported) {
        if (!ids.contains(mac.id)) {
            ids.insert(mac.id);
            kept.append(mac);
        }
    }
    return SortedTailscale(kept);
}

void Discovery::applyPollResult(std::int64_t generation, TailscaleState state,
                                SortedTailscale machines) {
    // A newer poll is under way and owns inFlightPoll and isPolling.
    if (generation != pollGeneration_)
        return;
    inFlightPoll_.reset();
    setIsPolling(false);
    setTailscaleState(state);
    sortedTailscale_ = std::move(machines);
    recompute();
}

void Discovery::run(const QString& path, const QStringList& arguments,
                    std::function<void(QByteArray)> completion) {
    platform_.toolRunner.run(path, arguments, toolTimeLimit, toolKillGrace, std::move(completion));
}

} // namespace nimbrook

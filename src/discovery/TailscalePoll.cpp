#include "discovery/Discovery.h"

#include "platform/ToolRunner.h"

#include <QPointer>

namespace nimbrook {

void Discovery::refreshTailscale() {
    const auto now = platform_.scheduler.now();
    // A younger poll is still running; an older one is abandoned and its result
    // will fail the generation test.
    if (inFlightPoll_ && now - inFlightPoll_->startedAt < stalePollAge)
        return;

    const std::optional<QString> tool = locateCLI(platform_.fileSystem, platform_.userDefaults);
    if (!tool) {
        inFlightPoll_.reset();
        setIsPolling(false);
        setTailscaleState(TailscaleState::notInstalled);
        viaTailscale_.clear();
        recompute();
        return;
    }

    const std::int64_t generation = ++pollGeneration_;
    inFlightPoll_ = InFlightPoll{generation, now};
    setIsPolling(true);

    run(*tool, {QStringLiteral("status"), QStringLiteral("--json")},
        [self = QPointer<Discovery>(this), &scheduler = platform_.scheduler,
         generation](QByteArray output) {
            // On the worker thread: decoding is pure, and a large report must not
            // hold up the main thread.
            StatusReport report = parse(output);
            scheduler.post([self, generation, report = std::move(report)] {
                if (self)
                    self->applyPollResult(generation, report);
            });
        });
}

void Discovery::applyPollResult(std::int64_t generation, const StatusReport& report) {
    // A newer poll is under way and owns inFlightPoll and isPolling.
    if (generation != pollGeneration_)
        return;
    inFlightPoll_.reset();
    setIsPolling(false);
    setTailscaleState(report.state);

    // Two peers with one DNS name: the first by name wins.
    QHash<QString, RemoteMac> table;
    table.reserve(report.macs.size());
    for (const RemoteMac& mac : report.macs)
        if (!table.contains(mac.id))
            table.insert(mac.id, mac);
    viaTailscale_ = std::move(table);
    recompute();
}

void Discovery::run(const QString& path, const QStringList& arguments,
                    std::function<void(QByteArray)> completion) {
    platform_.toolRunner.run(path, arguments, toolTimeLimit, toolKillGrace, std::move(completion));
}

} // namespace nimbrook

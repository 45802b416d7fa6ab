#include "discovery/Discovery.h"

#include "platform/PathMonitoring.h"
#include "platform/ProcessRun.h"
#include "platform/ServiceBrowsing.h"

#include <QPointer>

namespace nimbrook {

Discovery::Discovery(const DiscoveryPlatform& platform, QObject* parent)
    : QObject(parent)
    , platform_(platform)
    , preferences_(platform.userDefaults, platform.scheduler) {
    // A pin changes the order at once.
    QObject::connect(&preferences_, &MachinePreferences::changed, this, &Discovery::recompute);
}

// Releases the timer, browser and monitor it holds; callbacks still queued
// hold the object weakly and find it gone.
Discovery::~Discovery() = default;

void Discovery::start() {
    if (hasStarted_)
        return;
    hasStarted_ = true;
    preferences_.reload();
    startBonjour();
    startPathMonitoring();
    refreshTailscale();

    // The timer only queues the tick: the work runs as its own main-thread task,
    // after the timer callback has returned.
    pollTimer_ = platform_.scheduler.startRepeating(
        tickInterval, [self = QPointer<Discovery>(this), &scheduler = platform_.scheduler] {
            scheduler.post([self] {
                if (self)
                    self->tick();
            });
        });
    emit startedOrStopped(true);
}

void Discovery::tick() {
    // Settings edited by hand apply within one tick, as the tool's path does.
    preferences_.reload();
    refreshTailscale();
    // Restarts browsing after a failed browser was dropped. Only this step asks
    // whether we are started: a tick queued before stop() still polls.
    if (hasStarted_ && !browser_)
        startBonjour();
    resolveOutstanding();
}

void Discovery::stop() {
    if (pollTimer_) {
        pollTimer_->invalidate();
        pollTimer_.reset();
    }
    if (pathMonitor_) {
        pathMonitor_->cancel();
        pathMonitor_.reset();
    }
    lastPathSignature_.reset();
    if (browser_) {
        browser_->cancel();
        browser_.reset();
    }
    forgetBonjourResults();
    // A poll still running applies its result when it completes, unless a newer
    // one has started by then.
    inFlightPoll_.reset();
    setIsPolling(false);
    const bool wasStarted = hasStarted_;
    hasStarted_ = false;
    if (wasStarted)
        emit startedOrStopped(false);
}

void Discovery::recompute() {
    QList<RemoteMac> merged = sortedTailscale_.mergedWith(viaBonjour_.values());
    if (!preferences_.pinned().isEmpty())
        merged = pinnedFirst(std::move(merged), preferences_.pinned());
    setMacs(std::move(merged));
}

QByteArray Discovery::runBlocking(const QString& path, const QStringList& arguments,
                                  std::chrono::milliseconds timeout,
                                  std::chrono::milliseconds killGrace) {
    return runProcessBlocking(path, arguments, timeout, killGrace);
}

void Discovery::setMacs(QList<RemoteMac> macs) {
    if (macs == macs_)
        return;
    macs_ = std::move(macs);
    emit macsChanged();
}

void Discovery::setTailscaleState(TailscaleState state) {
    if (state == tailscaleState_)
        return;
    tailscaleState_ = state;
    emit tailscaleStateChanged(state);
}

void Discovery::setIsPolling(bool polling) {
    if (polling == isPolling_)
        return;
    isPolling_ = polling;
    emit isPollingChanged(polling);
}

} // namespace nimbrook

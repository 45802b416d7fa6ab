#include "app/OnlineNotifier.h"

#include "discovery/Discovery.h"
#include "platform/Notifications.h"

#include <QSet>

namespace nimbrook {

OnlineNotifier::OnlineNotifier(Discovery& discovery, Notifications& notifications,
                               const Scheduler& clock, std::function<void(const RemoteMac&)> open,
                               QObject* parent)
    : QObject(parent)
    , discovery_(discovery)
    , notifications_(notifications)
    , clock_(clock)
    , open_(std::move(open)) {
    connect(&discovery_, &Discovery::macsChanged, this, &OnlineNotifier::update);
    connect(&notifications_, &Notifications::actionInvoked, this, &OnlineNotifier::openTagged);
    connect(&discovery_, &Discovery::startedOrStopped, this, [this](bool started) {
        // A (re)start: what is online from now on was online before.
        started_ = started;
        startedAt_ = clock_.now();
        seen_.clear();
    });
    started_ = discovery_.hasStarted();
    startedAt_ = clock_.now();
}

void OnlineNotifier::update() {
    const auto now = clock_.now();
    if (!started_)
        return;
    const bool settling =
        now - startedAt_ < warmUp || discovery_.tailscaleState() == TailscaleState::searching;
    const QSet<QString>& watched = discovery_.preferences().notifyWhenOnline();

    QSet<QString> listed;
    for (const RemoteMac& mac : discovery_.macs()) {
        const QString identity = mac.rowIdentity();
        listed.insert(identity);
        const auto previous = seen_.constFind(identity);
        const bool wasOnline = previous != seen_.cend() && previous->online;
        if (mac.online && !wasOnline && !settling && watched.contains(identity)) {
            const bool longGone = previous == seen_.cend() || now - previous->since >= blip;
            const auto last = announced_.constFind(identity);
            const bool quiet = last == announced_.cend() || now - *last >= quietPeriod;
            if (longGone && quiet) {
                announced_.insert(identity, now);
                announce(mac);
            }
        }
        const bool changedState = previous == seen_.cend() || previous->online != mac.online;
        seen_.insert(identity, Seen{mac.online, changedState ? now : previous->since, mac});
    }
    for (auto it = seen_.begin(); it != seen_.end(); ++it) {
        if (!listed.contains(it.key()) && it->online) {
            it->online = false;
            it->since = now;
        }
    }
}

void OnlineNotifier::announce(const RemoteMac& mac) {
    notifications_.show(mac.name + QStringLiteral(" is online"), sourceAndAddress(mac),
                        QStringLiteral("Connect"), mac.rowIdentity());
}

void OnlineNotifier::openTagged(const QString& identity) {
    // The machine as it is listed now: its address may have changed since.
    for (const RemoteMac& mac : discovery_.macs()) {
        if (mac.rowIdentity() == identity) {
            open_(mac);
            return;
        }
    }
    if (const auto seen = seen_.constFind(identity); seen != seen_.cend())
        open_(seen->mac);
}

} // namespace nimbrook

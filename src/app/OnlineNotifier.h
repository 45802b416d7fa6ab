#pragma once

#include "model/RemoteMac.h"
#include "platform/Scheduler.h"

#include <QHash>
#include <QObject>

#include <functional>
#include <optional>

namespace nimbrook {

class Discovery;
class Notifications;

// Announces the machines the user asked about ("Notify When Online") when
// they come online: from offline, or from not being listed, to online. One
// desktop notification, "<name> is online", whose action opens the machine as
// a click on its row would. Nothing is announced for what is already online
// when discovery starts (the first poll and the first seconds of browsing
// settle what is there), a machine gone for less than `blip` has not been
// away, and one machine is announced at most once per `quietPeriod`.
class OnlineNotifier final : public QObject {
    Q_OBJECT

public:
    static constexpr auto warmUp = std::chrono::seconds(10);
    static constexpr auto blip = std::chrono::seconds(15);
    static constexpr auto quietPeriod = std::chrono::minutes(5);

    // `open` opens a machine as a row click does.
    OnlineNotifier(Discovery& discovery, Notifications& notifications, const Scheduler& clock,
                   std::function<void(const RemoteMac&)> open, QObject* parent = nullptr);

private:
    struct Seen {
        bool online = false;
        ContinuousClock::time_point since; // when it last came or went
        RemoteMac mac;
    };

    void update();
    void announce(const RemoteMac& mac);
    void openTagged(const QString& identity);

    Discovery& discovery_;
    Notifications& notifications_;
    const Scheduler& clock_;
    std::function<void(const RemoteMac&)> open_;
    bool started_ = false;
    ContinuousClock::time_point startedAt_;
    QHash<QString, Seen> seen_; // by row identity, also machines no longer listed
    QHash<QString, ContinuousClock::time_point> announced_;
};

} // namespace nimbrook

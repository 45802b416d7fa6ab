#pragma once

#include "discovery/Discovery.h"
#include "platform/TrayHost.h"

#include <QString>

#include <memory>

namespace nimbrook {

class AppInstance;
class Appearance;
class Autostart;
class Notifications;
class StatusIcon;

// Where the backends of the platform we run on are made: the only place that
// knows them. The services Discovery works through are made on first use and
// owned here, in an order that keeps the scheduler alive longest; the tray
// side's backends are made for their owner as it asks. Create after the
// application object; destroy after every Discovery that uses it.
class DesktopPlatform {
public:
    DesktopPlatform();
    ~DesktopPlatform();

    DiscoveryPlatform discoveryPlatform();

    // `name` is the session-wide name the one running instance holds.
    std::unique_ptr<AppInstance> makeAppInstance(const QString& name) const;
    std::unique_ptr<Appearance> makeAppearance() const;
    std::unique_ptr<Notifications> makeNotifications() const;
    std::unique_ptr<TrayHost> makeTrayHost() const;
    // The icon of the kind `host` takes.
    std::unique_ptr<StatusIcon> makeStatusIcon(TrayHost::Kind host) const;

    // Neither needs the rest: `--autostart` and the choice of a display run
    // before (and without) a platform object.
    static std::unique_ptr<Autostart> makeAutostart();
    // Whether something takes connections on the Unix socket at `path`.
    static bool socketAnswers(const QString& path);

private:
    struct Services;
    std::unique_ptr<Services> services_;
};

} // namespace nimbrook

#include "app/DesktopPlatform.h"

#include "platform/linux/DesktopTrayHost.h"
#include "platform/linux/FreedesktopNotifications.h"
#include "platform/linux/GioUrlOpener.h"
#include "platform/linux/IniUserDefaults.h"
#include "platform/linux/LinuxNetwork.h"
#include "platform/linux/LocalSocket.h"
#include "platform/linux/PortalAppearance.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/SerialToolRunner.h"
#include "platform/linux/SessionBusInstance.h"
#include "platform/linux/StatusNotifierItem.h"
#include "platform/linux/XdgAutostart.h"
#include "platform/qt/QtScheduler.h"
#include "platform/qt/QtStatusIcon.h"

namespace nimbrook {

struct DesktopPlatform::Services {
    // Declared first, destroyed last: the others post to it until they stop.
    QtScheduler scheduler;
    LinuxNetwork network;
    SerialToolRunner toolRunner;
    PosixFileSystem fileSystem;
    IniUserDefaults userDefaults;
    GioUrlOpener urlOpener;
};

DesktopPlatform::DesktopPlatform() = default;

DesktopPlatform::~DesktopPlatform() = default;

DiscoveryPlatform DesktopPlatform::discoveryPlatform() {
    if (!services_)
        services_ = std::make_unique<Services>();
    Services& s = *services_;
    return DiscoveryPlatform{s.scheduler,
                             s.network.serviceBrowsing(),
                             s.network.pathMonitoring(),
                             s.toolRunner,
                             s.fileSystem,
                             s.userDefaults,
                             s.network.connecting(),
                             s.network.localNames(),
                             s.urlOpener};
}

std::unique_ptr<AppInstance> DesktopPlatform::makeAppInstance(const QString& name) const {
    return std::make_unique<SessionBusInstance>(name);
}

std::unique_ptr<Appearance> DesktopPlatform::makeAppearance() const {
    return std::make_unique<PortalAppearance>();
}

std::unique_ptr<Notifications> DesktopPlatform::makeNotifications() const {
    return std::make_unique<FreedesktopNotifications>();
}

std::unique_ptr<TrayHost> DesktopPlatform::makeTrayHost() const {
    return std::make_unique<DesktopTrayHost>();
}

std::unique_ptr<StatusIcon> DesktopPlatform::makeStatusIcon(TrayHost::Kind host) const {
    if (host == TrayHost::Kind::statusNotifier)
        return std::make_unique<StatusNotifierItem>();
    return std::make_unique<QtStatusIcon>();
}

std::unique_ptr<Autostart> DesktopPlatform::makeAutostart() {
    return std::make_unique<XdgAutostart>();
}

bool DesktopPlatform::socketAnswers(const QString& path) {
    return unixSocketAnswers(path);
}

} // namespace nimbrook

#include "app/DesktopPlatform.h"

#include "platform/linux/LinuxNetwork.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/SerialToolRunner.h"
#include "platform/qt/DesktopUrlOpener.h"
#include "platform/qt/QtScheduler.h"
#include "platform/qt/SettingsUserDefaults.h"

namespace nimbrook {

struct DesktopPlatform::Private {
    // Declared first, destroyed last: the others post to it until they stop.
    QtScheduler scheduler;
    LinuxNetwork network;
    SerialToolRunner toolRunner;
    PosixFileSystem fileSystem;
    SettingsUserDefaults userDefaults;
    DesktopUrlOpener urlOpener;
};

DesktopPlatform::DesktopPlatform()
    : d(std::make_unique<Private>()) {
}

DesktopPlatform::~DesktopPlatform() = default;

DiscoveryPlatform DesktopPlatform::discoveryPlatform() {
    return DiscoveryPlatform{d->scheduler,
                             d->network.serviceBrowsing(),
                             d->network.pathMonitoring(),
                             d->toolRunner,
                             d->fileSystem,
                             d->userDefaults,
                             d->network.connecting(),
                             d->network.localNames(),
                             d->urlOpener};
}

} // namespace nimbrook

#pragma once

#include "discovery/Discovery.h"

#include "FakeNetwork.h"
#include "FakeScheduler.h"
#include "FakeTools.h"
#include "PrintTo.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace nimbrook::testing {

using namespace std::chrono_literals;

// Which published value a signal said had changed.
enum class Published { macs, tailscaleState, isPolling };

// A Discovery on fakes, with every published change recorded.
class DiscoveryFixture : public ::testing::Test {
protected:
    DiscoveryFixture() { discovery = makeDiscovery(); }

    std::unique_ptr<Discovery> makeDiscovery() {
        auto made = std::make_unique<Discovery>(DiscoveryPlatform{
            scheduler, browsing, paths, tools, files, defaults, connecting, localNames, urlOpener});
        QObject::connect(made.get(), &Discovery::macsChanged,
                         [this] { notifications.push_back(Published::macs); });
        QObject::connect(made.get(), &Discovery::tailscaleStateChanged,
                         [this] { notifications.push_back(Published::tailscaleState); });
        QObject::connect(made.get(), &Discovery::isPollingChanged,
                         [this] { notifications.push_back(Published::isPolling); });
        return made;
    }

    // Starts discovery and answers its first poll with `output`.
    void startWith(const QByteArray& output) {
        discovery->start();
        tools.latest().finish(output);
        scheduler.runPending();
    }

    // Puts a Tailscale tool where the locator looks.
    void installTool() { files.executables = {QStringLiteral("/usr/bin/tailscale")}; }

    std::vector<Published> takeNotifications() { return std::exchange(notifications, {}); }

    FakeScheduler scheduler;
    FakeServiceBrowsing browsing;
    FakePathMonitoring paths;
    FakeToolRunner tools;
    FakeFileSystem files;
    FakeUserDefaults defaults;
    FakeConnecting connecting;
    FakeLocalNames localNames;
    FakeUrlOpener urlOpener;
    std::vector<Published> notifications;
    std::unique_ptr<Discovery> discovery;
};

} // namespace nimbrook::testing

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

// A Discovery on fakes, with every published change recorded.
class DiscoveryFixture : public ::testing::Test {
protected:
    DiscoveryFixture() { discovery = makeDiscovery(); }

    std::unique_ptr<Discovery> makeDiscovery() {
        auto made = std::make_unique<Discovery>(DiscoveryPlatform{
            scheduler, browsing, paths, tools, files, defaults, connecting, localNames, urlOpener});
        QObject::connect(made.get(), &Discovery::changed,
                         [this](Discovery::Published what) { notifications.push_back(what); });
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

    std::vector<Discovery::Published> takeNotifications() {
        return std::exchange(notifications, {});
    }

    FakeScheduler scheduler;
    FakeServiceBrowsing browsing;
    FakePathMonitoring paths;
    FakeToolRunner tools;
    FakeFileSystem files;
    FakeUserDefaults defaults;
    FakeConnecting connecting;
    FakeLocalNames localNames;
    FakeUrlOpener urlOpener;
    std::vector<Discovery::Published> notifications;
    std::unique_ptr<Discovery> discovery;
};

} // namespace nimbrook::testing

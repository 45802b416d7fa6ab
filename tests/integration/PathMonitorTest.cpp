#include "NetEnv.h"

#include "platform/PathMonitoring.h"
#include "platform/linux/LinuxNetwork.h"

#include <QProcess>

#include <mutex>
#include <sched.h>

namespace nimbrook::testing {
namespace {

using namespace std::chrono_literals;

void ip(const QString& command) {
    QProcess process;
    process.start(QStringLiteral("ip"), command.split(u' '));
    ASSERT_TRUE(process.waitForFinished(5000));
    ASSERT_EQ(process.exitCode(), 0)
        << command.toStdString() << ": " << process.readAllStandardError().toStdString();
}

struct PathLog {
    std::mutex mutex;
    QList<NetworkPath> paths;

    std::function<void(const NetworkPath&)> handler() {
        return [this](const NetworkPath& path) {
            std::lock_guard lock(mutex);
            paths.append(path);
        };
    }
    std::optional<NetworkPath> latest() {
        std::lock_guard lock(mutex);
        if (paths.isEmpty())
            return std::nullopt;
        return paths.last();
    }
    template <typename Predicate> bool waitUntil(Predicate predicate) {
        return waitFor([&] {
            const auto path = latest();
            return path && predicate(*path);
        });
    }
};

bool hasInterface(const NetworkPath& path, const QString& name) {
    for (const NetworkInterface& interface : path.availableInterfaces) {
        if (interface.name == name)
            return true;
    }
    return false;
}

// Runs in a network namespace of its own, made here: links and routes can be
// changed freely, and the monitor sees only them.
TEST(PathMonitorTest, FollowsLinksAddressesAndDefaultRoutes) {
    if (unshare(CLONE_NEWNET) != 0)
        GTEST_SKIP() << "cannot make a network namespace here (needs root)";

    PathLog log;
    LinuxNetwork network;
    auto monitor = network.pathMonitoring().start(log.handler());
    ASSERT_TRUE(log.waitUntil([](const NetworkPath& path) {
        return path.status == PathStatus::unsatisfied && path.availableInterfaces.isEmpty();
    }));

    ip(QStringLiteral("link set lo up"));
    ASSERT_TRUE(log.waitUntil(
        [](const NetworkPath& path) { return hasInterface(path, QStringLiteral("lo")); }));
    EXPECT_EQ(log.latest()->status, PathStatus::unsatisfied); // loopback alone is no network
    EXPECT_EQ(log.latest()->availableInterfaces.first().type, InterfaceType::loopback);

    ip(QStringLiteral("link add nbtest0 type veth peer name nbtest1"));
    ip(QStringLiteral("addr add 10.9.0.2/24 dev nbtest0"));
    ip(QStringLiteral("link set nbtest1 up"));
    ip(QStringLiteral("link set nbtest0 up"));
    ip(QStringLiteral("route add default via 10.9.0.1"));
    ASSERT_TRUE(log.waitUntil(
        [](const NetworkPath& path) { return path.status == PathStatus::satisfied; }));
    EXPECT_EQ(log.latest()->gatewayDescriptions, QStringList{QStringLiteral("10.9.0.1")});
    EXPECT_TRUE(hasInterface(*log.latest(), QStringLiteral("nbtest0")));
    const NetworkPath satisfied = *log.latest();
    for (const NetworkInterface& interface : satisfied.availableInterfaces)
        EXPECT_NE(interface.type, InterfaceType::wiredEthernet) << "a veth is virtual";

    ip(QStringLiteral("route del default"));
    ASSERT_TRUE(log.waitUntil(
        [](const NetworkPath& path) { return path.status == PathStatus::unsatisfied; }));
    EXPECT_TRUE(log.latest()->gatewayDescriptions.isEmpty());

    // A link that goes takes its routes with it without a route event.
    ip(QStringLiteral("route add default via 10.9.0.1"));
    ASSERT_TRUE(log.waitUntil(
        [](const NetworkPath& path) { return path.status == PathStatus::satisfied; }));
    ip(QStringLiteral("link del nbtest0"));
    ASSERT_TRUE(log.waitUntil([](const NetworkPath& path) {
        return path.status == PathStatus::unsatisfied &&
               !hasInterface(path, QStringLiteral("nbtest0"));
    }));
    EXPECT_TRUE(log.latest()->gatewayDescriptions.isEmpty());

    // Nothing changed, nothing reported.
    const auto reported = [&] {
        std::lock_guard lock(log.mutex);
        return log.paths.size();
    };
    const auto count = reported();
    waitFor([] { return false; }, 500ms);
    EXPECT_EQ(reported(), count);
}

} // namespace
} // namespace nimbrook::testing

#include "app/HeadlessList.h"

#include "app/DesktopPlatform.h"
#include "app/ListFormat.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

namespace nimbrook {

namespace {

// The local network has settled when nothing is being probed and its machines
// have not changed for a while; browse answers come within about a second.
constexpr auto quietPeriod = std::chrono::milliseconds(1000);
constexpr auto minimumBrowse = std::chrono::milliseconds(1500);
constexpr auto checkInterval = std::chrono::milliseconds(100);

} // namespace

int runHeadlessList(const CommandLine& command, DesktopPlatform& platform) {
    Discovery discovery(platform.discoveryPlatform());
    QElapsedTimer sinceStart;
    QElapsedTimer sinceChange;
    sinceStart.start();
    sinceChange.start();
    // Only the local network is waited on: a Tailscale report is complete when
    // it arrives, however many machines it brings.
    QStringList localMachines;
    QObject::connect(&discovery, &Discovery::macsChanged, [&] {
        QStringList local;
        for (const RemoteMac& mac : discovery.macs()) {
            if (mac.source == RemoteMac::Source::bonjour)
                local.append(mac.id);
        }
        if (local != localMachines) {
            localMachines = std::move(local);
            sinceChange.restart();
        }
    });

    QEventLoop loop;
    QTimer check;
    check.setInterval(checkInterval);
    QObject::connect(&check, &QTimer::timeout, [&] {
        const bool tailscaleDone =
            discovery.tailscaleState() != TailscaleState::searching && !discovery.isPolling();
        const bool localSettled = !discovery.isResolving() &&
                                  sinceStart.elapsed() >= minimumBrowse.count() &&
                                  sinceChange.elapsed() >= quietPeriod.count();
        if ((tailscaleDone && localSettled) || sinceStart.elapsed() >= command.listWait.count())
            loop.quit();
    });

    discovery.start();
    check.start();
    loop.exec();

    const QByteArray output = command.json
                                  ? ListFormat::json(discovery.macs(), discovery.tailscaleState(),
                                                     discovery.isPolling()) +
                                        '\n'
                                  : ListFormat::text(discovery.macs(), discovery.tailscaleState(),
                                                     discovery.preferences().listing())
                                        .toUtf8();
    std::fwrite(output.constData(), 1, std::size_t(output.size()), stdout);
    std::fflush(stdout);
    discovery.stop();
    return 0;
}

} // namespace nimbrook

#pragma once

#include "discovery/MachinePreferences.h"
#include "discovery/PathSignature.h"
#include "discovery/ServiceProbe.h"
#include "discovery/SortedTailscale.h"
#include "discovery/StatusParse.h"
#include "discovery/StatusReport.h"
#include "discovery/TailscaleCli.h"
#include "discovery/VncAddress.h"
#include "model/RemoteMac.h"
#include "model/TailscaleState.h"
#include "platform/NetworkTypes.h"
#include "platform/Scheduler.h"
#include "platform/UrlOpener.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace nimbrook {

class Connecting;
class FileSystem;
class LocalNames;
class PathMonitor;
class PathMonitoring;
class ServiceBrowser;
class ServiceBrowsing;
class ToolRunner;
class UserDefaults;

// The platform services a Discovery works through. All of them must outlive it,
// and the scheduler must outlive the others.
struct DiscoveryPlatform {
    Scheduler& scheduler;
    ServiceBrowsing& serviceBrowsing;
    PathMonitoring& pathMonitoring;
    ToolRunner& toolRunner;
    FileSystem& fileSystem;
    UserDefaults& userDefaults;
    Connecting& connecting;
    LocalNames& localNames;
    UrlOpener& urlOpener;
};

// The one long-lived model object: it owns every piece of machine state, runs
// Tailscale polling, DNS-SD browsing with endpoint resolution and the network
// path watch, and publishes the merged machine list.
//
// Threads: the object is used on the main thread only; of its members only the
// report decoder is also used elsewhere, by the poll running on the tool
// worker (which shares it and runs one at a time). Platform callbacks arrive
// on other threads and come back here as posted tasks that hold the object
// weakly and carry the generation current when their work began; a result
// whose generation is no longer current is dropped.
class Discovery final : public QObject {
    Q_OBJECT

public:
    static constexpr auto tickInterval = std::chrono::milliseconds(5000);
    // A poll running this long no longer blocks a new one.
    static constexpr auto stalePollAge = std::chrono::seconds(30);
    static constexpr auto toolTimeLimit = std::chrono::milliseconds(10'000);
    static constexpr auto toolKillGrace = std::chrono::milliseconds(2'000);
    static inline const QString& cliPathKey = tailscaleCliPathKey;
    static constexpr auto probeTimeout = std::chrono::milliseconds(5000);
    // Address lookups under way at once: plenty for a link, and a crowded one
    // cannot use up the process's descriptors.
    static constexpr int maxProbesInFlight = 32;
    // How long a service whose lookups keep finding nothing waits before the
    // next: 5 s after the first failure, doubling up to this.
    static constexpr auto firstRetryDelay = std::chrono::seconds(5);
    static constexpr auto longestRetryDelay = std::chrono::seconds(120);
    // The longest string of a report that is decoded whole.
    static constexpr qsizetype maxJsonString = 64 * 1024;
    static inline const QString serviceType = QStringLiteral("_rfb._tcp");
    // A machine is opened at most once in this long.
    static constexpr auto reopenInterval = std::chrono::seconds(2);

    // Starts nothing: no timer, browser or monitor until start().
    explicit Discovery(const DiscoveryPlatform& platform, QObject* parent = nullptr);
    ~Discovery() override;

    // --- Published values ---------------------------------------------------
    const QList<RemoteMac>& macs() const { return macs_; }
    TailscaleState tailscaleState() const { return tailscaleState_; }
    bool isPolling() const { return isPolling_; }

    // The user's pins, machines to announce and operating systems to list.
    MachinePreferences& preferences() { return preferences_; }

    bool hasStarted() const { return hasStarted_; }
    // Whether an address lookup of a local-network machine is under way.
    bool isResolving() const { return !resolving_.isEmpty(); }

    // --- Lifecycle ----------------------------------------------------------
    // Begins discovery: browser, path monitor, a first Tailscale poll and the
    // 5-second tick. Does nothing while already started.
    void start();
    // Ends discovery and forgets the local-network side. The Tailscale machines
    // and state survive it. Safe to call when not started.
    void stop();

    // --- Commands -----------------------------------------------------------
    // Starts a Tailscale poll unless a recent one is still running.
    void refreshTailscale();
    // The Refresh command: poll Tailscale now and, once started, browse the
    // local network afresh.
    void refresh();
    // Opens a screen-sharing session with `mac` in the desktop's VNC viewer,
    // unless it was opened less than reopenInterval ago.
    void connect(const RemoteMac& mac);

    // --- Pure computations --------------------------------------------------
    // One record per row identity, a local-network sighting overriding name and
    // address; online machines first, then by name (localized, numeric,
    // case-insensitive). Stable.
    static QList<RemoteMac> merge(const QList<RemoteMac>& tailscale,
                                  const QList<RemoteMac>& bonjour);
    // `macs` with the machines whose row identity is in `pinned` moved to the
    // front, each side in the order it had. Stable.
    static QList<RemoteMac> pinnedFirst(QList<RemoteMac> macs, const QSet<QString>& pinned);
    static StatusReport parse(const QByteArray& output) {
        return parseStatusReport(output, defaultOperatingSystems);
    }
    static StatusReport parse(const QByteArray& output, const QStringList& operatingSystems) {
        return parseStatusReport(output, operatingSystems);
    }
    static std::optional<QString> locateCLI(const FileSystem& fileSystem,
                                            const UserDefaults& defaults) {
        return locateTailscaleCli(fileSystem, defaults);
    }
    static QStringList cliCandidates(const FileSystem& fileSystem, const UserDefaults& defaults) {
        return tailscaleCliCandidates(fileSystem, defaults);
    }
    // Runs the tool and returns its standard output; blocks the calling thread.
    static QByteArray runBlocking(const QString& path, const QStringList& arguments,
                                  std::chrono::milliseconds timeout,
                                  std::chrono::milliseconds killGrace);
    static std::optional<QString> urlHost(const NetworkEndpoint& endpoint) {
        return urlHostOf(endpoint);
    }
    static std::optional<QUrl> vncUrl(const QString& address) { return vncUrlFor(address); }
    static QString pathSignature(PathStatus status, const QStringList& interfaceNames,
                                 const QStringList& gatewayDescriptions) {
        return pathSignatureOf(status, interfaceNames, gatewayDescriptions);
    }

signals:
    // Each fires once its value has changed, and only then. Main thread.
    void macsChanged();
    void tailscaleStateChanged(nimbrook::TailscaleState state);
    void isPollingChanged(bool polling);
    // start() or stop() has just run.
    void startedOrStopped(bool started);
    // `mac` was chosen, and no viewer opened it: there is none for vnc://, or
    // the one set could not start (`result` says which).
    void connectFailed(const nimbrook::RemoteMac& mac, const nimbrook::UrlOpener::Result& result);

private:
    struct InFlightPoll {
        std::int64_t generation = 0;
        ContinuousClock::time_point startedAt;
    };

    void tick();
    // Rebuilds and publishes `macs` from the two source tables.
    void recompute();

    // Replaces any browser with a new one under a new generation; leaves the
    // tables as they are.
    void startBonjour();
    // Drops the current browser if `generation` is still current.
    void replaceFailedBrowser(std::int64_t generation);
    // Advances the browser generation, empties the local-network tables and
    // republishes. Leaves the browser running.
    void forgetBonjourResults();
    // Takes the complete result set of the browser of `generation`: drops this
    // computer and names that collide, rebuilds the advertised table, and starts
    // lookups for new names.
    void applyBrowseResults(const QList<ServiceEndpoint>& results, std::int64_t generation);
    // Starts address lookups, up to maxProbesInFlight at once: names never
    // looked up first, in the order they were announced, then those whose
    // retry is due, longest overdue first.
    void resolveOutstanding();
    // Starts the address lookup of one advertised name.
    void resolve(const QString& name, const ServiceEndpoint& endpoint);
    // Takes what lookup `serial` of `name` found: the machine, or when to try
    // again; then starts what the freed slot allows.
    void applyProbeResult(const QString& name, std::uint64_t serial,
                          const std::optional<QString>& address);
    // Ends the lookup of `name` and forgets when it was to be retried.
    void forgetProbing(const QString& name);

    // Creates the path monitor; its updates come back through applyPathSignature().
    void startPathMonitoring();
    // Records a new path signature; a change after the first forgets and
    // re-browses the local network.
    void applyPathSignature(const QString& signature);

    // Runs the tool on the serial worker with the time limit and kill grace
    // above; `completion` is called on the worker thread.
    void run(const QString& path, const QStringList& arguments,
             std::function<void(QByteArray)> completion);
    // The Tailscale machines of one report, one per identifier, sorted ready
    // for merging. Made on the tool worker.
    static SortedTailscale tailscaleMachines(const QList<RemoteMac>& reported);
    void applyPollResult(std::int64_t generation, TailscaleState state, SortedTailscale machines);
    void setMacs(QList<RemoteMac> macs);
    void setTailscaleState(TailscaleState state);
    void setIsPolling(bool polling);

    DiscoveryPlatform platform_;
    MachinePreferences preferences_;
    // Shared with the poll still running when we are destroyed.
    std::shared_ptr<StatusDecoder> decoder_ = std::make_shared<StatusDecoder>();

    QList<RemoteMac> macs_;
    TailscaleState tailscaleState_ = TailscaleState::searching;
    bool isPolling_ = false;
    SortedTailscale sortedTailscale_;      // the Tailscale machines, sorted for merging
    QHash<QString, RemoteMac> viaBonjour_; // keyed by service name
    std::unique_ptr<ServiceBrowser> browser_;
    std::unique_ptr<RepeatingTimer> pollTimer_;
    bool hasStarted_ = false;
    std::optional<InFlightPoll> inFlightPoll_;
    std::int64_t pollGeneration_ = 0;
    QHash<QString, ServiceEndpoint> bonjourEndpoints_; // keyed by service name
    struct InFlightProbe {
        std::shared_ptr<ServiceProbe> probe;
        std::uint64_t serial = 0;
    };
    QHash<QString, InFlightProbe> resolving_; // keyed by service name
    std::uint64_t probeSerial_ = 0;
    struct ProbeRetry {
        int failures = 0;
        ContinuousClock::time_point due;
    };
    QHash<QString, ProbeRetry> retries_; // names whose lookups found nothing
    std::deque<QString> unprobed_;       // names never looked up, oldest first
    std::unique_ptr<PathMonitor> pathMonitor_;
    std::optional<QString> lastPathSignature_;
    std::int64_t browserGeneration_ = 0;
    QHash<QString, ContinuousClock::time_point> lastOpened_; // by row identity
};

} // namespace nimbrook

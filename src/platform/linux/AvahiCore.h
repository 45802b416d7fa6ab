#pragma once

// Shared by the Avahi backend's source files; never included by our public
// headers, so Avahi's headers stay out of them.

#include "platform/Connecting.h"
#include "platform/ServiceBrowsing.h"
#include "platform/linux/NetworkThread.h"
#include "platform/linux/UniqueFd.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>

#include <sys/socket.h>

#include <QLoggingCategory>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace nimbrook {

Q_DECLARE_LOGGING_CATEGORY(lcAvahi)

struct AvahiCore;

struct BrowserRecord {
    enum class Phase { pending, browsing, failed, cancelled };

    QString type;
    ServiceBrowsing::Handlers handlers;
    Phase phase = Phase::pending;
    AvahiServiceBrowser* browser = nullptr;
    QList<ServiceEndpoint> results; // one per service, in the order first seen
    bool readyReported = false;
};

struct ProbeRecord {
    // resolving: the service to a host, port and one address; collecting: the
    // host's other IPv6 addresses, when any IP version will do; connecting.
    enum class Phase { starting, resolving, collecting, connecting, ready, failed, cancelled };

    AvahiCore* core = nullptr; // set while the probe is in the core's list
    ServiceEndpoint service;
    std::optional<IpProtocol> ipVersion;
    std::chrono::milliseconds timeout{};
    Connecting::StateHandler onState;
    Phase phase = Phase::starting;
    AvahiServiceResolver* resolver = nullptr;
    AvahiRecordBrowser* addressBrowser = nullptr;
    // Where the service was found, and every address known for its host.
    AvahiIfIndex interface = AVAHI_IF_UNSPEC;
    uint16_t port = 0;
    std::vector<sockaddr_storage> candidates;
    UniqueFd socket;
    std::unique_ptr<NetworkThread::Watch> watch;
    std::unique_ptr<NetworkThread::Timer> deadline;
    // The host connected to, or waited for, while connecting.
    std::string hostKey;
};

// What one connection attempt told of the host it went to.
enum class HostOutcome { answered, unanswered, unknown };

// Connection attempts to one host, one at a time. A crowded link may advertise
// hundreds of services at one address that never answers: they would each hold
// a socket for the whole timeout. So attempts wait for the host's current one;
// once that has gone unanswered for `hostPatience` they fail at once, and for
// `unansweredMemory` after it timed out, so do new ones.
struct HostAttempts {
    static constexpr auto hostPatience = std::chrono::milliseconds(500);
    static constexpr auto unansweredMemory = std::chrono::seconds(15);

    ProbeRecord* connecting = nullptr;
    std::unique_ptr<NetworkThread::Timer> patience;
    bool slow = false; // the current attempt has outlasted hostPatience
    std::vector<std::pair<ProbeRecord*, sockaddr_storage>> waiting;
    std::chrono::steady_clock::time_point unansweredUntil;
};

// The Avahi client and everything created from it. Every member is used on the
// network thread only, except the host name cache, which has its own lock.
struct AvahiCore : std::enable_shared_from_this<AvahiCore> {
    explicit AvahiCore(NetworkThread& networkThread)
        : thread(networkThread) {}

    NetworkThread& thread;
    AvahiClient* client = nullptr;
    bool connected = false; // the client talks to a running daemon
    bool shutDown = false;
    std::unique_ptr<NetworkThread::Timer> retry;
    bool reportedUnavailable = false;
    std::vector<std::shared_ptr<BrowserRecord>> browsers;
    std::vector<std::shared_ptr<ProbeRecord>> probes;
    std::map<std::string, HostAttempts> hosts; // keyed by address, port left out

    mutable std::mutex namesMutex;
    std::optional<QString> hostName;

    // Client lifecycle.
    void ensureClient();
    void recreateClientLater();
    void onClientState(AvahiClient* client, AvahiClientState state);
    void onConnected();
    void onDisconnected();
    void freeEverything();

    // Browsing.
    void addBrowser(const std::shared_ptr<BrowserRecord>& record);
    void startBrowser(BrowserRecord& record);
    // Avahi allows freeing a browser from inside its own callback.
    static void failBrowser(BrowserRecord& record);
    // The daemon went away: drop the results and browse again once it is back.
    void suspendBrowser(BrowserRecord& record);
    void cancelBrowser(const std::shared_ptr<BrowserRecord>& record);
    void cancel(const std::shared_ptr<BrowserRecord>& record) { cancelBrowser(record); }

    // Probing.
    void startProbe(const std::shared_ptr<ProbeRecord>& record);
    void onResolved(ProbeRecord& record, const char* serviceHost, const AvahiAddress& address,
                    uint16_t port, AvahiIfIndex interface);
    void onAddressesCollected(ProbeRecord& record);
    // Connects now, after the host's current attempt, or fails at once when
    // the host is not answering.
    void connectTo(ProbeRecord& record, const sockaddr_storage& address);
    void startConnecting(ProbeRecord& record, const sockaddr_storage& address,
                         const std::string& hostKey);
    void onWritable(ProbeRecord& record);
    void onHostSlow(const std::string& hostKey);
    // The record no longer connects to, or waits for, its host.
    void leaveHost(ProbeRecord& record, HostOutcome outcome);
    void failProbe(ProbeRecord& record, HostOutcome outcome = HostOutcome::unknown);
    void cancelProbe(const std::shared_ptr<ProbeRecord>& record);
    void cancel(const std::shared_ptr<ProbeRecord>& record) { cancelProbe(record); }
    void releaseProbe(ProbeRecord& record, HostOutcome outcome = HostOutcome::unknown);
};

} // namespace nimbrook

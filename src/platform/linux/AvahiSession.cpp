#include "platform/linux/AvahiSession.h"

#include "platform/linux/AvahiCore.h"

#include <avahi-common/error.h>

#include <QFile>

#include <unistd.h>

namespace nimbrook {

Q_LOGGING_CATEGORY(lcAvahi, "nimbrook.avahi", QtWarningMsg)

namespace {

// How long to wait before trying again when no client can be made at all (no
// system bus). A missing daemon needs no retry: the client waits for it.
constexpr auto clientRetryDelay = std::chrono::seconds(5);

void clientCallback(AvahiClient* client, AvahiClientState state, void* userdata) {
    static_cast<AvahiCore*>(userdata)->onClientState(client, state);
}

} // namespace

// --- Client lifecycle ----------------------------------------------------

void AvahiCore::ensureClient() {
    if (client || retry || shutDown || !thread.isRunning())
        return;
    int error = 0;
    // NO_FAIL: with the daemon away, wait in CONNECTING instead of failing. The
    // callback may run before avahi_client_new returns; it records the client.
    AvahiClient* made =
        avahi_client_new(thread.poll(), AVAHI_CLIENT_NO_FAIL, &clientCallback, this, &error);
    if (made) {
        client = made;
        reportedUnavailable = false;
        return;
    }
    if (!reportedUnavailable) {
        qCInfo(lcAvahi, "cannot reach Avahi (%s); retrying every %lld s", avahi_strerror(error),
               static_cast<long long>(clientRetryDelay.count()));
        reportedUnavailable = true;
    }
    recreateClientLater();
}

void AvahiCore::recreateClientLater() {
    if (retry || shutDown)
        return;
    retry = thread.after(clientRetryDelay, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->retry.reset();
            self->ensureClient();
        }
    });
}

void AvahiCore::onClientState(AvahiClient* madeClient, AvahiClientState state) {
    client = madeClient;
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
    case AVAHI_CLIENT_S_REGISTERING:
    case AVAHI_CLIENT_S_COLLISION:
        onConnected();
        return;
    case AVAHI_CLIENT_CONNECTING:
        onDisconnected();
        return;
    case AVAHI_CLIENT_FAILURE:
        qCDebug(lcAvahi, "client failed: %s", avahi_strerror(avahi_client_errno(madeClient)));
        onDisconnected();
        // A failed client is dead for good; it cannot be freed from inside its
        // own callback, so make a new one from the queue.
        thread.post([weak = weak_from_this(), dead = madeClient] {
            const auto self = weak.lock();
            if (!self || self->client != dead)
                return;
            avahi_client_free(dead);
            self->client = nullptr;
            self->ensureClient();
        });
        return;
    }
}

void AvahiCore::onConnected() {
    if (const char* name = avahi_client_get_host_name(client)) {
        std::lock_guard lock(namesMutex);
        hostName = QString::fromUtf8(name);
    }
    if (connected)
        return;
    connected = true;
    // Browsers asked for while the daemon was away start now.
    const auto waiting = browsers;
    for (const auto& record : waiting) {
        if (record->phase == BrowserRecord::Phase::pending)
            startBrowser(*record);
    }
}

void AvahiCore::onDisconnected() {
    {
        std::lock_guard lock(namesMutex);
        hostName.reset();
    }
    if (!connected)
        return;
    connected = false;
    // A restarted daemon is usually back within a second: browsers wait for it
    // rather than fail, so its services return as soon as it answers again.
    const auto running = browsers;
    for (const auto& record : running)
        suspendBrowser(*record);
    const auto inFlight = probes;
    for (const auto& record : inFlight)
        failProbe(*record);
}

void AvahiCore::freeEverything() {
    shutDown = true;
    retry.reset();
    // Handlers still waiting can hold the handles that hold their records:
    // they are dropped last, once nothing here refers to them any more.
    std::vector<Connecting::StateHandler> probeHandlers;
    std::vector<ServiceBrowsing::Handlers> browserHandlers;
    for (const auto& record : probes) {
        record->resolver = nullptr; // freed with the client
        record->addressBrowser = nullptr;
        record->watch.reset();
        record->deadline.reset();
        record->socket.reset();
        record->core = nullptr;
        probeHandlers.push_back(std::exchange(record->onState, nullptr));
    }
    probes.clear();
    hosts.clear();
    for (const auto& record : browsers) {
        record->browser = nullptr;
        browserHandlers.push_back(std::exchange(record->handlers, {}));
    }
    browsers.clear();
    if (client)
        avahi_client_free(client);
    client = nullptr;
    connected = false;
}

// --- Session -------------------------------------------------------------

AvahiSession::AvahiSession(NetworkThread& thread, QString machineInfoPath)
    : core_(std::make_shared<AvahiCore>(thread))
    , machineInfoPath_(std::move(machineInfoPath)) {
    thread.post([core = core_] { core->ensureClient(); });
}

AvahiSession::~AvahiSession() = default;

void AvahiSession::shutdown() {
    core_->freeEverything();
}

std::optional<QString> AvahiSession::localHostName() const {
    {
        std::lock_guard lock(core_->namesMutex);
        if (core_->hostName && !core_->hostName->isEmpty())
            return core_->hostName;
    }
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return std::nullopt;
    return QString::fromLocal8Bit(name);
}

std::optional<QString> AvahiSession::computerName() const {
    QFile file(machineInfoPath_);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return prettyHostname(file.read(64 * 1024));
}

std::optional<QString> AvahiSession::prettyHostname(const QByteArray& machineInfo) {
    // An environment-style file: KEY=VALUE lines, values optionally quoted
    // with shell quoting and backslash escapes.
    std::optional<QString> found;
    for (const QByteArray& rawLine : machineInfo.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (!line.startsWith("PRETTY_HOSTNAME="))
            continue;
        const QByteArray value = line.mid(int(sizeof("PRETTY_HOSTNAME=") - 1));
        QByteArray text;
        char quote = 0;
        for (qsizetype i = 0; i < value.size(); ++i) {
            const char c = value[i];
            if (quote == '\'') {
                if (c == '\'')
                    quote = 0;
                else
                    text += c;
            } else if (c == '\\' && i + 1 < value.size()) {
                text += value[++i];
            } else if (c == '"') {
                quote = quote == '"' ? 0 : '"';
            } else if (c == '\'' && quote == 0) {
                quote = '\'';
            } else {
                text += c;
            }
        }
        found = QString::fromUtf8(text);
    }
    if (found && found->isEmpty())
        return std::nullopt;
    return found;
}

} // namespace nimbrook

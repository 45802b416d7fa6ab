#include "discovery/Discovery.h"

#include "discovery/NameCollation.h"
#include "discovery/PlainAddress.h"
#include "model/MachineIdentity.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstring>
#include <optional>

namespace nimbrook {

namespace {

// Decoding is strict about the keys we read: null counts as absent, any other
// wrong type makes the whole report unreadable. Every other key is ignored.
struct Unreadable {};

constexpr qsizetype maxDnsNameLength = 254;
constexpr qsizetype maxNameLength = 256;

template <typename T> using Field = std::optional<T>;

Field<QString> optionalString(const QJsonObject& object, QLatin1StringView key) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isString())
        throw Unreadable{};
    return value.toString();
}

Field<bool> optionalBool(const QJsonObject& object, QLatin1StringView key) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isBool())
        throw Unreadable{};
    return value.toBool();
}

Field<QStringList> optionalStringArray(const QJsonObject& object, QLatin1StringView key) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isArray())
        throw Unreadable{};
    QStringList strings;
    for (const QJsonValue entry : value.toArray()) {
        if (!entry.isString())
            throw Unreadable{};
        strings.append(entry.toString());
    }
    return strings;
}

struct Peer {
    Field<QString> hostName;
    Field<QString> dnsName;
    Field<QStringList> tailscaleIPs;
    Field<bool> online;
    Field<QString> os;
    Field<bool> shareeNode;

    static Peer decode(const QJsonValue& value) {
        if (!value.isObject())
            throw Unreadable{};
        const QJsonObject object = value.toObject();
        return Peer{optionalString(object, QLatin1StringView("HostName")),
                    optionalString(object, QLatin1StringView("DNSName")),
                    optionalStringArray(object, QLatin1StringView("TailscaleIPs")),
                    optionalBool(object, QLatin1StringView("Online")),
                    optionalString(object, QLatin1StringView("OS")),
                    optionalBool(object, QLatin1StringView("ShareeNode"))};
    }

    // The machine this peer stands for, if it runs one of `systems` (lower
    // case) and we can address it.
    std::optional<RemoteMac> toMac(const QStringList& systems) const {
        if (!os || !systems.contains(os->toLower()))
            return std::nullopt;
        // A machine shared with someone else, shown to us only because they
        // share with us: Tailscale hides it, and it is not ours to reach.
        if (shareeNode.value_or(false))
            return std::nullopt;
        // No DNS name is longer than 253 characters and a final dot: a longer
        // one is not a name at all.
        if (!dnsName || dnsName->isEmpty() || dnsName->size() > maxDnsNameLength)
            return std::nullopt;
        if (!tailscaleIPs)
            return std::nullopt;
        // Anything but a plain IP address could take the viewer elsewhere
        // ("100.64.0.1@evil.example"): such an entry counts as absent.
        const auto address = std::find_if(tailscaleIPs->cbegin(), tailscaleIPs->cend(),
                                          [](const QString& ip) { return isPlainIpAddress(ip); });
        if (address == tailscaleIPs->cend())
            return std::nullopt;
        const QString identity = MachineIdentity::fromHostname(*dnsName);
        // Host names are at most a few dozen characters; one of megabytes would
        // only cost time and memory in every sort and every row that shows it.
        const QString name =
            hostName && !hostName->isEmpty() ? hostName->left(maxNameLength) : identity;
        return RemoteMac{*dnsName,
                         identity,
                         name,
                         *address,
                         online.value_or(false),
                         RemoteMac::Source::tailscale};
    }
};

struct Status {
    Field<QString> backendState;
    std::vector<Peer> peers;

    static Status decode(const QJsonDocument& document) {
        if (!document.isObject())
            throw Unreadable{};
        const QJsonObject object = document.object();
        Status status{optionalString(object, QLatin1StringView("BackendState")), {}};
        const QJsonValue peers = object.value(QLatin1StringView("Peer"));
        if (peers.isUndefined() || peers.isNull())
            return status;
        if (!peers.isObject())
            throw Unreadable{};
        const QJsonObject table = peers.toObject();
        status.peers.reserve(table.size());
        for (auto it = table.constBegin(); it != table.constEnd(); ++it)
            status.peers.push_back(Peer::decode(it.value()));
        return status;
    }
};

QList<RemoteMac> sortedByName(QList<RemoteMac> macs) {
    const NameCollation& collation = NameCollation::forCurrentLocale();
    std::vector<std::pair<NameCollation::Key, RemoteMac>> keyed;
    keyed.reserve(macs.size());
    for (RemoteMac& mac : macs)
        keyed.emplace_back(collation.key(mac.name), std::move(mac));
    std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
        return collation.compare(a.first, b.first) < 0;
    });
    QList<RemoteMac> sorted;
    sorted.reserve(qsizetype(keyed.size()));
    for (auto& entry : keyed)
        sorted.append(std::move(entry.second));
    return sorted;
}

} // namespace

StatusReport Discovery::parse(const QByteArray& output) {
    static const QStringList macsOnly{QStringLiteral("macos")};
    return parse(output, macsOnly);
}

qsizetype Discovery::shortenLongStrings(QByteArray& json, qsizetype maxBytes) {
    // One pass over the bytes, copying down in place: inside a string, bytes
    // past `maxBytes` are dropped, never in the middle of an escape or of a
    // UTF-8 sequence, so the text stays valid JSON.
    char* data = json.data();
    const qsizetype size = json.size();
    qsizetype out = 0;
    bool inString = false;
    qsizetype kept = 0; // bytes of the current string written so far
    bool dropping = false;
    for (qsizetype in = 0; in < size; ++in) {
        const char c = data[in];
        if (!inString) {
            data[out++] = c; // (a byte onto itself until something was dropped)
            if (c == '"') {
                inString = true;
                kept = 0;
                dropping = false;
            }
            continue;
        }
        if (c == '"') {
            inString = false;
            data[out++] = c;
            continue;
        }
        // An escape sequence: "\X" or "\uXXXX", kept or dropped whole.
        qsizetype length = 1;
        if (c == '\\')
            length = in + 1 < size && data[in + 1] == 'u' ? 6 : 2;
        else if ((static_cast<unsigned char>(c) & 0xC0) == 0xC0)
            length = (static_cast<unsigned char>(c) & 0xE0) == 0xC0   ? 2
                     : (static_cast<unsigned char>(c) & 0xF0) == 0xE0 ? 3
                                                                      : 4;
        length = std::min(length, size - in);
        if (!dropping && kept + length > maxBytes)
            dropping = true;
        if (!dropping) {
            if (out != in)
                std::memmove(data + out, data + in, std::size_t(length));
            out += length;
            kept += length;
        }
        in += length - 1;
    }
    const qsizetype dropped = size - out;
    json.truncate(out);
    return dropped;
}

StatusReport Discovery::parse(const QByteArray& output, const QStringList& operatingSystems) {
    const StatusReport unreadable{TailscaleState::notRunning, {}};
    if (output.isEmpty())
        return unreadable;

    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(output, &error);
    if (error.error != QJsonParseError::NoError)
        return unreadable;

    Status status;
    try {
        status = Status::decode(document);
    } catch (const Unreadable&) {
        return unreadable;
    }

    if (status.backendState == QLatin1StringView("NeedsLogin") ||
        status.backendState == QLatin1StringView("NeedsMachineAuth") ||
        status.backendState == QLatin1StringView("NoState"))
        return StatusReport{TailscaleState::needsLogin, {}};
    // Another user of this computer holds Tailscale: nothing of it is ours.
    if (status.backendState == QLatin1StringView("Stopped") ||
        status.backendState == QLatin1StringView("InUseOtherUser"))
        return unreadable;

    QList<RemoteMac> macs;
    for (const Peer& peer : status.peers) {
        if (std::optional<RemoteMac> mac = peer.toMac(operatingSystems))
            macs.append(std::move(*mac));
    }
    return StatusReport{TailscaleState::ok, sortedByName(std::move(macs))};
}

} // namespace nimbrook

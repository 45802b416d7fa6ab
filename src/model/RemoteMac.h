#pragma once

#include <QHashFunctions>
#include <QString>

#include <functional>
#include <optional>

namespace nimbrook {

// One discovered machine, whichever way it was found. A plain value: producers
// build new records instead of changing existing ones.
struct RemoteMac {
    // Where a record was found or, after a merge, which source supplied its name
    // and address. The raw value is also the text a row shows for the source.
    enum class Source { tailscale, bonjour };

    QString id;       // identifier within its source (DNS name, or "bonjour:" + service name)
    QString identity; // normalised identity; empty when the name has no letter or digit
    QString name;     // shown to the user
    QString address;  // host part after "vnc://"; empty when no address is known
    bool online = false;
    Source source = Source::tailscale;

    // The key that matches records across sources and identifies menu rows.
    QString rowIdentity() const { return identity.isEmpty() ? id : identity; }

    static QString rawValue(Source source);
    // Matches the two raw values exactly (case-sensitive, whole text); any other
    // text yields no value.
    static std::optional<Source> sourceFromRawValue(const QString& raw);

    friend bool operator==(const RemoteMac&, const RemoteMac&) = default;
};

// Consistent with equality: all six fields, the source through its raw value.
// Where the machine was found and its address as people read it:
// "Tailscale · 100.64.0.7".
QString sourceAndAddress(const RemoteMac& mac);

size_t qHash(const RemoteMac& mac, size_t seed = 0) noexcept;
size_t qHash(RemoteMac::Source source, size_t seed = 0) noexcept;

} // namespace nimbrook

template <> struct std::hash<nimbrook::RemoteMac> {
    size_t operator()(const nimbrook::RemoteMac& mac) const noexcept {
        return nimbrook::qHash(mac);
    }
};

template <> struct std::hash<nimbrook::RemoteMac::Source> {
    size_t operator()(nimbrook::RemoteMac::Source source) const noexcept {
        return nimbrook::qHash(source);
    }
};

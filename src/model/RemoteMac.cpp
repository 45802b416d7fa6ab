#include "model/RemoteMac.h"

#include "model/AddressText.h"

namespace nimbrook {

namespace {
const QString tailscaleRaw = QStringLiteral("Tailscale");
const QString bonjourRaw = QStringLiteral("Local network");
} // namespace

QString RemoteMac::rawValue(Source source) {
    switch (source) {
    case Source::tailscale:
        return tailscaleRaw;
    case Source::bonjour:
        return bonjourRaw;
    }
    return {};
}

std::optional<RemoteMac::Source> RemoteMac::sourceFromRawValue(const QString& raw) {
    if (raw == tailscaleRaw)
        return Source::tailscale;
    if (raw == bonjourRaw)
        return Source::bonjour;
    return std::nullopt;
}

QString sourceAndAddress(const RemoteMac& mac) {
    return RemoteMac::rawValue(mac.source) + QStringLiteral(" \u00B7 ") +
           readableAddress(mac.address);
}

size_t qHash(RemoteMac::Source source, size_t seed) noexcept {
    return ::qHash(RemoteMac::rawValue(source), seed);
}

size_t qHash(const RemoteMac& mac, size_t seed) noexcept {
    return qHashMulti(seed, mac.id, mac.identity, mac.name, mac.address, mac.online,
                      RemoteMac::rawValue(mac.source));
}

} // namespace nimbrook

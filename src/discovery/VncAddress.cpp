#include "discovery/VncAddress.h"

#include "discovery/PlainAddress.h"
#include "model/AddressText.h"

#include <algorithm>

namespace nimbrook {

std::optional<QString> urlHostOf(const NetworkEndpoint& endpoint) {
    const auto* hostPort = std::get_if<HostEndpoint>(&endpoint);
    if (!hostPort)
        return std::nullopt;

    QString host;
    switch (hostPort->kind) {
    case HostEndpoint::Kind::name:
        host = hostPort->host;
        break;
    case HostEndpoint::Kind::ipv4:
        host = hostPort->host.section(u'%', 0, 0);
        break;
    case HostEndpoint::Kind::ipv6:
        if (!hostPort->host.isEmpty())
            host = bracketedIpv6(hostPort->host);
        break;
    }
    if (host.isEmpty())
        return std::nullopt;
    if (hostPort->port == screenSharingPort)
        return host;
    return host + u':' + QString::number(hostPort->port);
}

namespace {

struct HostAndPort {
    QString host; // the plain address, a zone as "%eth0"
    int port = -1;
};

// A record's address as its host and optional port: "10.0.0.5", "10.0.0.5:5901",
// a bare IPv6 literal (Tailscale's form), or one in brackets with an optional
// port and a percent-encoded zone (the form urlHostOf() makes).
std::optional<HostAndPort> splitAddress(const QString& address) {
    HostAndPort split;
    QString port;
    if (address.startsWith(u'[')) {
        const std::optional<BracketedHost> bracketed = splitBracketedHost(address);
        if (!bracketed || !bracketed->host.contains(u':'))
            return std::nullopt; // brackets hold IPv6 literals only
        split.host = bracketed->host;
        const QString& rest = bracketed->rest;
        if (!rest.isEmpty() && !rest.startsWith(u':'))
            return std::nullopt;
        port = rest.mid(1);
        if (!rest.isEmpty() && port.isEmpty())
            return std::nullopt;
    } else if (address.count(u':') == 1) {
        split.host = address.section(u':', 0, 0);
        port = address.section(u':', 1);
        if (port.isEmpty())
            return std::nullopt;
    } else {
        split.host = address;
    }
    if (!isPlainIpAddress(split.host))
        return std::nullopt;
    if (!port.isEmpty()) {
        bool ok = false;
        split.port = port.toInt(&ok);
        const bool digitsOnly =
            std::all_of(port.cbegin(), port.cend(), [](QChar c) { return c.isDigit(); });
        if (!ok || !digitsOnly || split.port < 1 || split.port > 65535)
            return std::nullopt;
    }
    return split;
}

} // namespace

std::optional<QUrl> vncUrlFor(const QString& address) {
    const std::optional<HostAndPort> split = splitAddress(address);
    if (!split)
        return std::nullopt;
    QString text = QStringLiteral("vnc://") + urlHostText(split->host);
    if (split->port >= 0)
        text += u':' + QString::number(split->port);
    const QUrl url(text, QUrl::StrictMode);
    // Whatever the URL parser made of it must still be exactly this address:
    // no user, path, query or fragment, the same host and port.
    if (!url.isValid() || !url.userInfo().isEmpty() || !url.path().isEmpty() || url.hasQuery() ||
        url.hasFragment() || url.port() != split->port || !isPlainIpAddress(url.host()) ||
        !isSameIpAddress(url.host(), split->host))
        return std::nullopt;
    return url;
}

} // namespace nimbrook

#include "discovery/Discovery.h"

#include "platform/UrlOpener.h"

#include <QHostAddress>
#include <QLoggingCategory>
#include <QUrl>

namespace nimbrook {

Q_LOGGING_CATEGORY(lcConnect, "nimbrook.connect", QtWarningMsg)

std::optional<QString> Discovery::urlHost(const NetworkEndpoint& endpoint) {
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
        host = QString(hostPort->host).replace(u'%', QStringLiteral("%25"));
        host = u'[' + host + u']';
        break;
    }
    if (host.isEmpty() || host == QStringLiteral("[]"))
        return std::nullopt;
    if (hostPort->port == screenSharingPort)
        return host;
    return host + u':' + QString::number(hostPort->port);
}

namespace {

// A Tailscale peer may list an IPv6 address first, and its record carries it
// bare ("fd7a::1"); after "vnc://" it needs brackets to be a host at all.
QString hostForUrl(const QString& address) {
    const QHostAddress literal(address);
    if (literal.protocol() == QAbstractSocket::IPv6Protocol && !address.startsWith(u'['))
        return u'[' + QString(address).replace(u'%', QStringLiteral("%25")) + u']';
    return address;
}

} // namespace

void Discovery::connect(const RemoteMac& mac) {
    if (mac.address.isEmpty())
        return;
    const QUrl url(QStringLiteral("vnc://") + hostForUrl(mac.address), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        qCDebug(lcConnect) << "not a usable address:" << mac.address;
        return;
    }
    if (!platform_.urlOpener.open(url))
        qCDebug(lcConnect) << "no handler opened" << url.toString();
}

} // namespace nimbrook

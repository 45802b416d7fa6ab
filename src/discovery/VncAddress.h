#pragma once

#include "platform/NetworkTypes.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace nimbrook {

// The port a vnc:// address implies when it names none.
inline constexpr quint16 screenSharingPort = 5900;

// The host text of a vnc:// address for a host-and-port endpoint: a name as it
// is, IPv4 without any zone, IPv6 in brackets with "%" written "%25"; ":port"
// only when the port is not 5900. None for anything else.
std::optional<QString> urlHostOf(const NetworkEndpoint& endpoint);

// The "vnc://" URL for a record's address, when the address is a plain IP
// address with an optional port and the URL holds nothing else.
std::optional<QUrl> vncUrlFor(const QString& address);

} // namespace nimbrook

#pragma once

#include <QStringView>

namespace nimbrook {

// Whether `text` is an IP address and nothing else: an IPv4 address as four
// decimal numbers 0-255 without leading zeros, or an IPv6 literal, optionally
// with a zone ("fe80::1%eth0"). No brackets, port, user, path or host name:
// only such a text may become the host of a "vnc://" address as it stands.
bool isPlainIpAddress(QStringView text);

// Whether two plain IP addresses (as above) name the same address: IPv6
// literals compared by value ("::1" and "0:0::1"), zones by name.
bool isSameIpAddress(QStringView a, QStringView b);

} // namespace nimbrook

#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace nimbrook {

// An IPv6 literal and what follows it in a URL authority: "[fe80::1%25eth0]:5901"
// is host "fe80::1%eth0" and rest ":5901".
struct BracketedHost {
    QString host; // the literal, its zone as "%eth0"
    QString rest; // whatever followed the closing bracket
};

// An IPv6 literal in the brackets of a URL, its zone's "%" written "%25".
QString bracketedIpv6(QStringView literal);

// The host text of a URL for a plain address: an IPv6 literal in brackets with
// its zone's "%" written "%25", anything else as it is.
QString urlHostText(QStringView host);

// The inverse of urlHostText() for an address that starts with "[": none when
// the bracket is not closed.
std::optional<BracketedHost> splitBracketedHost(const QString& address);

// A record's address (the text that follows "vnc://") as people read it: an
// IPv6 literal without the brackets the URL needs when no port follows, and a
// zone as "%eth0" rather than the URL's percent-encoded "%25eth0".
QString readableAddress(const QString& address);

} // namespace nimbrook

#pragma once

#include <QString>

namespace nimbrook {

// A record's address (the text that follows "vnc://") as people read it: an
// IPv6 literal without the brackets the URL needs when no port follows, and a
// zone as "%eth0" rather than the URL's percent-encoded "%25eth0".
QString readableAddress(const QString& address);

} // namespace nimbrook

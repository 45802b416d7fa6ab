#pragma once

#include "model/RemoteMac.h"

#include <ostream>

// Readable failure messages for our value types.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace nimbrook {
inline void PrintTo(const RemoteMac& mac, std::ostream* os) {
    *os << "{" << mac.id.toStdString() << ", " << mac.identity.toStdString() << ", "
        << mac.name.toStdString() << ", " << mac.address.toStdString() << ", "
        << (mac.online ? "online" : "offline") << ", "
        << RemoteMac::rawValue(mac.source).toStdString() << "}";
}
} // namespace nimbrook

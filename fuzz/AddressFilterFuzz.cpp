// Whatever a tool or the network puts in an address, a "vnc://" URL comes out
// only for a plain IP address, and then holds nothing but that address.
#include "discovery/PlainAddress.h"
#include "discovery/VncAddress.h"

#include <QHostAddress>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace nimbrook;
    const QString address = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const bool plain = isPlainIpAddress(address);
    if (plain && QHostAddress(address).isNull())
        std::abort(); // a plain address is an address
    // And the same address as Qt's own spelling of it (zones aside, which Qt
    // does not compare).
    if (plain && !address.contains(u'%') &&
        !isSameIpAddress(address, QHostAddress(address).toString()))
        std::abort();
    const std::optional<QUrl> url = vncUrlFor(address);
    if (!url)
        return 0;
    if (url->scheme() != QStringLiteral("vnc") || !url->userInfo().isEmpty() ||
        !url->path().isEmpty() || url->hasQuery() || url->hasFragment() ||
        !isPlainIpAddress(url->host()))
        std::abort();
    return 0;
}

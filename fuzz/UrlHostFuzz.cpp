// Any socket address the kernel could hand back becomes either nothing or a
// host text that forms a vnc:// URL with a host.
#include "discovery/VncAddress.h"
#include "platform/linux/SocketAddress.h"

#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace nimbrook;
    sockaddr_storage storage{};
    const std::size_t length = std::min(size, sizeof storage);
    std::memcpy(&storage, data, length);
    const std::optional<HostEndpoint> endpoint = hostEndpointFromSocketAddress(
        reinterpret_cast<const sockaddr*>(&storage), socklen_t(length));
    if (!endpoint)
        return 0;
    const std::optional<QString> host = urlHostOf(*endpoint);
    if (!host || host->isEmpty())
        std::abort(); // every IPv4 and IPv6 address has a text form
    const QUrl url(QStringLiteral("vnc://") + *host, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        std::abort();
    return 0;
}

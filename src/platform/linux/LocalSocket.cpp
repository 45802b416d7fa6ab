#include "platform/linux/LocalSocket.h"

#include "platform/linux/UniqueFd.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

namespace nimbrook {

bool unixSocketAnswers(const QString& path) {
    const QByteArray name = path.toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || std::size_t(name.size()) >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    const UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket)
        return false;
    return ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) ==
           0;
}

} // namespace nimbrook

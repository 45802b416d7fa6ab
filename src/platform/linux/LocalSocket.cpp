#include "platform/linux/LocalSocket.h"

#include "platform/linux/UniqueFd.h"

#include <QFile>
#include <QList>

#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

namespace nimbrook {

namespace {

// The kernel's __SO_ACCEPTCON: the socket is listening.
constexpr unsigned acceptingFlag = 0x10000;

bool connects(const QByteArray& name) {
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

} // namespace

bool socketTableListensAt(const QByteArray& table, const QString& path) {
    const QByteArray file = path.toLocal8Bit();
    if (file.isEmpty())
        return false;
    const QByteArray abstract = '@' + file;
    // "Num RefCount Protocol Flags Type St Inode Path": the path, last, may
    // hold spaces.
    for (const QByteArray& line : table.split('\n')) {
        QList<QByteArray> fields;
        qsizetype at = 0;
        while (fields.size() < 7) {
            while (at < line.size() && line[at] == ' ')
                ++at;
            const qsizetype end = line.indexOf(' ', at);
            if (at >= line.size() || end < 0)
                break;
            fields << line.mid(at, end - at);
            at = end;
        }
        if (fields.size() < 7)
            continue;
        bool isNumber = false;
        const unsigned flags = fields[3].toUInt(&isNumber, 16);
        if (!isNumber || !(flags & acceptingFlag))
            continue;
        const QByteArray bound = line.mid(at).trimmed();
        if (bound == file || bound == abstract)
            return true;
    }
    return false;
}

bool unixSocketAnswers(const QString& path) {
    QFile table(QStringLiteral("/proc/net/unix"));
    if (table.open(QIODevice::ReadOnly) && socketTableListensAt(table.readAll(), path))
        return true;
    return connects(path.toLocal8Bit());
}

} // namespace nimbrook

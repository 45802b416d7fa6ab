#include "platform/linux/PosixFileSystem.h"

#include <QFile>

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace nimbrook {

bool PosixFileSystem::isExecutableFile(const QString& path) const {
    if (path.isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    // A directory with its search bit set is "executable" to access(); it is
    // still not a program we can run.
    if (stat(native.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    return access(native.constData(), X_OK) == 0;
}

QString PosixFileSystem::homeDirectory() const {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return QFile::decodeName(home);

    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? std::size_t(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir)
        return {};
    return QFile::decodeName(found->pw_dir);
}

} // namespace nimbrook

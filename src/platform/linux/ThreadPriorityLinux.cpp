#include "platform/ThreadPriority.h"

#include <QLoggingCategory>

#include <cerrno>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

namespace nimbrook {

namespace {
constexpr int backgroundNiceness = 10;
} // namespace

void lowerCurrentThreadPriority() {
    // On Linux the nice value belongs to the thread, and a child inherits it.
    if (setpriority(PRIO_PROCESS, id_t(gettid()), backgroundNiceness) != 0)
        qDebug("setpriority failed: %s", std::strerror(errno));
}

} // namespace nimbrook

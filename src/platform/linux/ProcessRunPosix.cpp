#include "platform/MemoryAdvice.h"
#include "platform/ProcessRun.h"

#include "platform/linux/UniqueFd.h"

#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace nimbrook {

Q_LOGGING_CATEGORY(lcProcess, "nimbrook.process", QtWarningMsg)

namespace {

using SteadyClock = std::chrono::steady_clock;

// The child, and whether we have reaped it. Once reaped its pid may belong to
// someone else, so it is never signalled again.
class Child {
public:
    explicit Child(pid_t pid)
        : pid_(pid) {}

    bool isRunning() {
        if (reaped_)
            return false;
        int status = 0;
        pid_t result;
        do {
            result = waitpid(pid_, &status, WNOHANG);
        } while (result < 0 && errno == EINTR);
        if (result == 0)
            return true;
        // Reaped now, or (ECHILD) by someone else: either way it is gone.
        reaped_ = true;
        return false;
    }

    void signalIfRunning(int signal) {
        if (isRunning() && kill(pid_, signal) != 0)
            qCDebug(lcProcess, "kill(%d, %d) failed: %s", pid_, signal, strerror(errno));
    }

    void reap() {
        if (reaped_)
            return;
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        reaped_ = true;
    }

private:
    pid_t pid_;
    bool reaped_ = false;
};

enum class ReadEnd { endOfStream, deadline, aborted, tooLong };

// Appends what `fd` delivers to `buffer` until end of stream, `deadline`,
// `abortFd` becoming readable, or `limit` bytes exceeded. A read error ends the
// stream.
ReadEnd readUntil(int fd, QByteArray& buffer, SteadyClock::time_point deadline, int abortFd,
                  qsizetype limit) {
    constexpr qsizetype chunk = 64 * 1024;
    for (;;) {
        const auto remaining = deadline - SteadyClock::now();
        if (remaining <= SteadyClock::duration::zero())
            return ReadEnd::deadline;
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(remaining).count();

        pollfd fds[2] = {{fd, POLLIN, 0}, {abortFd, POLLIN, 0}};
        const nfds_t count = abortFd >= 0 ? 2 : 1;
        const int ready = poll(fds, count, int(std::min<long long>(waitMs, 60'000)));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            qCWarning(lcProcess, "poll failed: %s", strerror(errno));
            return ReadEnd::endOfStream;
        }
        if (ready == 0)
            continue;
        if (count == 2 && fds[1].revents != 0)
            return ReadEnd::aborted;
        if (fds[0].revents == 0)
            continue;

        // Read straight into the buffer, which doubles ahead of what it holds.
        if (buffer.capacity() - buffer.size() < chunk) {
            buffer.reserve(std::min(std::max(buffer.capacity() * 2, chunk * 4), limit + chunk));
            adviseHugePages(buffer.constData(), std::size_t(buffer.capacity()));
        }
        const qsizetype held = buffer.size();
        buffer.resize(held + chunk);
        const ssize_t got = read(fd, buffer.data() + held, std::size_t(chunk));
        buffer.resize(held + std::max<qsizetype>(got, 0));
        if (got > 0) {
            if (buffer.size() > limit)
                return ReadEnd::tooLong;
            continue;
        }
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got < 0)
            qCDebug(lcProcess, "read failed: %s", strerror(errno));
        return ReadEnd::endOfStream;
    }
}

// Our environment without what is meant for one window of ours alone: a
// launcher's activation token would make the tool's start fail (a huge one)
// or hand it our activation.
std::vector<char*> childEnvironment() {
    std::vector<char*> variables;
    for (char** variable = environ; *variable; ++variable) {
        if (std::strncmp(*variable, "XDG_ACTIVATION_TOKEN=", 21) != 0 &&
            std::strncmp(*variable, "DESKTOP_STARTUP_ID=", 19) != 0)
            variables.push_back(*variable);
    }
    variables.push_back(nullptr);
    return variables;
}

// posix_spawn with stdout on our pipe, stderr on /dev/null and every other
// descriptor of ours closed, signals reset to their defaults.
pid_t spawn(const QString& path, const QStringList& arguments, int stdoutFd) {
    const QByteArray program = QFile::encodeName(path);
    std::vector<QByteArray> storage;
    storage.reserve(arguments.size() + 1);
    storage.push_back(program);
    for (const QString& argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return -1;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }

    sigset_t noSignals;
    sigset_t allSignals;
    sigemptyset(&noSignals);
    sigfillset(&allSignals);
    // Each step returns 0 or an error number; the first error stops the chain.
    int failed = posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    if (failed == 0)
        failed =
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (failed == 0)
        failed = posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    if (failed == 0)
        failed = posix_spawnattr_setsigmask(&attributes, &noSignals);
    if (failed == 0)
        failed = posix_spawnattr_setsigdefault(&attributes, &allSignals);
    if (failed == 0)
        failed =
            posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    if (failed == 0) {
        std::vector<char*> environment = childEnvironment();
        failed = posix_spawn(&pid, program.constData(), &actions, &attributes, argv.data(),
                             environment.data());
        if (failed != 0)
            qCDebug(lcProcess, "cannot start %s: %s", program.constData(), strerror(failed));
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

} // namespace

QByteArray runProcessBlocking(const QString& path, const QStringList& arguments,
                              std::chrono::milliseconds timeout,
                              std::chrono::milliseconds killGrace, int abortFd,
                              qsizetype outputLimit) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        qCWarning(lcProcess, "pipe2 failed: %s", strerror(errno));
        return {};
    }
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);

    const pid_t pid = spawn(path, arguments, writeEnd.get());
    // Only the child may hold the write end, or we would never see end of stream.
    writeEnd.reset();
    if (pid < 0)
        return {};

    Child child(pid);
    QByteArray output;
    ReadEnd end =
        readUntil(readEnd.get(), output, SteadyClock::now() + timeout, abortFd, outputLimit);
    if (end == ReadEnd::deadline) {
        child.signalIfRunning(SIGTERM);
        end =
            readUntil(readEnd.get(), output, SteadyClock::now() + killGrace, abortFd, outputLimit);
    }
    if (end == ReadEnd::deadline) {
        child.signalIfRunning(SIGKILL);
        end =
            readUntil(readEnd.get(), output, SteadyClock::now() + killGrace, abortFd, outputLimit);
    }
    if (end == ReadEnd::tooLong) {
        qCDebug(lcProcess, "%s wrote more than %lld bytes: output dropped", qPrintable(path),
                static_cast<long long>(outputLimit));
        output = QByteArray();
    }
    // Still no end of stream: a descendant holds the pipe. Abandon the read.
    readEnd.reset();

    child.signalIfRunning(SIGKILL);
    child.reap();
    // Mostly there already, as the buffer grows ahead of what it holds.
    if (!output.isEmpty() && output.capacity() - output.size() < outputSlack)
        output.reserve(output.size() + outputSlack);
    return output;
}

} // namespace nimbrook

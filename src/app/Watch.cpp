#include "app/Watch.h"

#include "app/DesktopPlatform.h"
#include "app/WatchPrinter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace nimbrook {

namespace {

// Signals arrive on any thread at any time; the handler only writes a byte,
// and the event loop picks it up.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = write(signalPipe[1], &byte, 1);
    errno = saved;
}

bool installSignalHandlers() {
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "nimbrook: pipe2 failed: %s\n", std::strerror(errno));
        return false;
    }
    struct sigaction action {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM}) {
        if (sigaction(signal, &action, nullptr) != 0) {
            std::fprintf(stderr, "nimbrook: sigaction failed: %s\n", std::strerror(errno));
            return false;
        }
    }
    return true;
}

// Measures the longest time the event loop took to come back to a timer that
// asks to run every 10 ms, and how much of that time the thread spent on the
// CPU: a long gap with little CPU means the thread waited (for a lock, or for
// a processor), not that it worked.
class Heartbeat {
public:
    Heartbeat() {
        beat_.setTimerType(Qt::PreciseTimer);
        beat_.setInterval(10);
        QObject::connect(&beat_, &QTimer::timeout, [this] {
            const qint64 gap = sinceLast_.restart() - 10;
            const qint64 cpu = threadCpuMilliseconds();
            maxGap_ = std::max(maxGap_, gap);
            if (gap > recentGap_) {
                recentGap_ = gap;
                recentGapCpu_ = cpu - lastCpu_;
            }
            lastCpu_ = cpu;
        });
        report_.setInterval(10'000);
        QObject::connect(&report_, &QTimer::timeout, [this] {
            print();
            std::fprintf(stderr, "heartbeat: recent max gap %lld ms (%lld ms on the CPU)\n",
                         static_cast<long long>(recentGap_), static_cast<long long>(recentGapCpu_));
            recentGap_ = 0;
            recentGapCpu_ = 0;
        });
        lastCpu_ = threadCpuMilliseconds();
        sinceLast_.start();
        beat_.start();
        report_.start();
    }
    void print() const {
        std::fprintf(stderr, "heartbeat: max gap %lld ms\n", static_cast<long long>(maxGap_));
        std::fflush(stderr);
    }

private:
    static qint64 threadCpuMilliseconds() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
    }

    QTimer beat_;
    QTimer report_;
    QElapsedTimer sinceLast_;
    qint64 lastCpu_ = 0;
    qint64 maxGap_ = 0;
    qint64 recentGap_ = 0;
    qint64 recentGapCpu_ = 0;
};

} // namespace

int runWatch(const CommandLine& command, DesktopPlatform& platform) {
    if (!installSignalHandlers())
        return 1;
    Discovery discovery(platform.discoveryPlatform());

    // Printed when the list or the Tailscale state changes; whether a poll is
    // running is only said as it is then (a poll that changes nothing prints
    // nothing). The printer prints only a line that differs from the last.
    WatchPrinter printer(command.json, stdout);
    auto submit = [&] {
        printer.submit({discovery.macs(), discovery.tailscaleState(), discovery.isPolling(),
                        discovery.preferences().listing()});
    };
    // One poll changes up to three values in a row: print once, after all of them.
    QTimer coalesce;
    coalesce.setSingleShot(true);
    coalesce.setInterval(0);
    QObject::connect(&coalesce, &QTimer::timeout, submit);
    const auto printSoon = [&] {
        if (!coalesce.isActive())
            coalesce.start();
    };
    QObject::connect(&discovery, &Discovery::macsChanged, printSoon);
    QObject::connect(&discovery, &Discovery::tailscaleStateChanged, printSoon);

    QSocketNotifier interrupts(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupts, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });

    std::unique_ptr<Heartbeat> heartbeat;
    if (qEnvironmentVariableIntValue("NIMBROOK_HEARTBEAT") == 1)
        heartbeat = std::make_unique<Heartbeat>();

    discovery.start();
    submit();
    QCoreApplication::exec();
    discovery.stop();
    if (heartbeat)
        heartbeat->print();
    return 0;
}

} // namespace nimbrook

#include "platform/SerialToolRunner.h"

#include "platform/ProcessRun.h"

#include <QLoggingCategory>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace nimbrook {

namespace {
constexpr int backgroundNiceness = 10;
} // namespace

SerialToolRunner::SerialToolRunner() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        abortRead_ = ends[0];
        abortWrite_ = ends[1];
    } else {
        qWarning("SerialToolRunner: pipe2 failed (%s); quitting may wait for a running tool",
                 strerror(errno));
    }
}

SerialToolRunner::~SerialToolRunner() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    if (abortWrite_ >= 0) {
        const char byte = 1;
        while (write(abortWrite_, &byte, 1) < 0 && errno == EINTR) {
        }
    }
    if (worker_.joinable())
        worker_.join();
    if (abortRead_ >= 0)
        close(abortRead_);
    if (abortWrite_ >= 0)
        close(abortWrite_);
}

void SerialToolRunner::run(const QString& path, const QStringList& arguments,
                           std::chrono::milliseconds timeout, std::chrono::milliseconds killGrace,
                           Completion completion) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        jobs_.push_back(Job{path, arguments, timeout, killGrace, std::move(completion)});
        if (!worker_.joinable())
            worker_ = std::thread([this] { work(); });
    }
    wake_.notify_one();
}

void SerialToolRunner::work() {
    // Background work, and the tools it starts inherit it: below the UI thread,
    // so a tool printing or a report decoding tens of megabytes cannot starve it.
    if (setpriority(PRIO_PROCESS, pid_t(gettid()), backgroundNiceness) != 0)
        qDebug("SerialToolRunner: setpriority failed: %s", strerror(errno));
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_)
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        QByteArray output =
            runProcessBlocking(job.path, job.arguments, job.timeout, job.killGrace, abortRead_);
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
        }
        job.completion(std::move(output));
        job = Job{};
#if defined(__GLIBC__)
        // A report can be tens of megabytes; glibc keeps what this thread freed
        // in its arena unless asked to give it back, and we run all day.
        malloc_trim(0);
#endif
    }
}

} // namespace nimbrook

#include "platform/linux/SerialToolRunner.h"

#include "platform/ProcessRun.h"
#include "platform/ThreadPriority.h"

#include <QLoggingCategory>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace nimbrook {

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
    // The job threads and the tools they start inherit it.
    lowerCurrentThreadPriority();
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
#if defined(__GLIBC__)
        // A report can be tens of megabytes, and glibc keeps what was freed in
        // its arenas unless asked to give it back; we run all day. Not right
        // after a job: trimming holds an arena's lock throughout, and the main
        // thread is then busy freeing the previous result, whose memory came
        // from this thread's arena. By the time the next job is asked for it
        // has long finished.
        malloc_trim(0);
#endif
        // Each job runs on a thread that ends with it. A thread keeps a cache
        // of the blocks it freed, which glibc neither trims nor hands back
        // until the thread exits; after a report of tens of megabytes those
        // blocks pin pages all over the heap. The thread inherits our priority.
        std::thread([this, &job] { runJob(job); }).join();
        const std::lock_guard lock(mutex_);
        if (stopping_)
            return;
    }
}

void SerialToolRunner::runJob(Job& job) {
    QByteArray output =
        runProcessBlocking(job.path, job.arguments, job.timeout, job.killGrace, abortRead_);
    {
        const std::lock_guard lock(mutex_);
        if (stopping_)
            return;
    }
    job.completion(std::move(output));
    // What the completion captured is freed on this thread too.
    job = Job{};
}

} // namespace nimbrook

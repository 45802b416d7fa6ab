#pragma once

#include "platform/ToolRunner.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace nimbrook {

// A ToolRunner with one worker thread, started on first use, that runs the
// queued programs one at a time with runProcessBlocking(), each on a thread of
// its own, and calls their completions there.
class SerialToolRunner final : public ToolRunner {
public:
    SerialToolRunner();
    // Kills a program still running, drops queued runs without completing them,
    // and joins the worker. Returns promptly.
    ~SerialToolRunner() override;

    void run(const QString& path, const QStringList& arguments, std::chrono::milliseconds timeout,
             std::chrono::milliseconds killGrace, Completion completion) override;

private:
    struct Job {
        QString path;
        QStringList arguments;
        std::chrono::milliseconds timeout;
        std::chrono::milliseconds killGrace;
        Completion completion;
    };

    void work();
    void runJob(Job& job);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    // Readable once stopping: cuts a run short.
    int abortRead_ = -1;
    int abortWrite_ = -1;
    std::thread worker_;
};

} // namespace nimbrook

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

namespace nimbrook {

// Runs outside programs one at a time, off the main thread.
class ToolRunner {
public:
    using Completion = std::function<void(QByteArray output)>;

    virtual ~ToolRunner() = default;

    // Queues a run of `path` with `arguments` under the time limit and kill grace
    // of runProcessBlocking(); runs happen one after the other in submission
    // order. `completion` receives everything the program wrote to standard
    // output (empty when it could not be started) and is called exactly once, on
    // the runner's worker thread, unless the runner is destroyed first.
    // Returns at once.
    virtual void run(const QString& path, const QStringList& arguments,
                     std::chrono::milliseconds timeout, std::chrono::milliseconds killGrace,
                     Completion completion) = 0;
};

} // namespace nimbrook

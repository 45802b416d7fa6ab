#pragma once

#include <chrono>
#include <functional>
#include <memory>

struct AvahiPoll;

namespace nimbrook {

// The one network thread: an Avahi threaded poll that hosts the Avahi client,
// the probe sockets and the netlink socket, plus a queue for running work there
// from other threads. Everything that touches those objects runs on this thread.
class NetworkThread {
public:
    NetworkThread();
    // Stops the thread; queued work is dropped.
    ~NetworkThread();

    NetworkThread(const NetworkThread&) = delete;
    NetworkThread& operator=(const NetworkThread&) = delete;

    // Stops the thread and drops queued work. Afterwards the objects that lived
    // on it may be freed from the calling thread. Idempotent.
    void stop();

    bool isRunning() const;
    // The poll API for Avahi objects and our own watches; use on this thread.
    const AvahiPoll* poll() const;

    // Runs `task` on the network thread after the work queued before it.
    // Callable from any thread; dropped once the thread has stopped.
    void post(std::function<void()> task);
    // Runs `task` now when called on the network thread, else posts it.
    void runOrPost(std::function<void()> task);
    bool isCurrent() const;

    // A one-shot timer on the network thread; destroying the handle cancels it.
    // Create and destroy on the network thread.
    class Timer {
    public:
        virtual ~Timer() = default;
    };
    std::unique_ptr<Timer> after(std::chrono::milliseconds delay, std::function<void()> callback);

    // Calls `onReadable` on the network thread whenever `fd` is readable (or has
    // an error). Destroying the handle stops watching. Network thread only.
    class Watch {
    public:
        virtual ~Watch() = default;
    };
    std::unique_ptr<Watch> watchReadable(int fd, std::function<void()> onReadable);
    std::unique_ptr<Watch> watchWritable(int fd, std::function<void()> onWritable);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace nimbrook

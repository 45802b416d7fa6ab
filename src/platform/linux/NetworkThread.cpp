#include "platform/linux/NetworkThread.h"

#include "platform/linux/UniqueFd.h"

#include <avahi-common/thread-watch.h>
#include <avahi-common/timeval.h>
#include <avahi-common/watch.h>

#include <QLoggingCategory>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace nimbrook {

Q_LOGGING_CATEGORY(lcNetworkThread, "nimbrook.network", QtWarningMsg)

namespace {

class AvahiTimer final : public NetworkThread::Timer {
public:
    AvahiTimer(const AvahiPoll* poll, std::chrono::milliseconds delay,
               std::function<void()> callback)
        : poll_(poll)
        , callback_(std::move(callback)) {
        timeval when{};
        avahi_elapse_time(&when, unsigned(delay.count()), 0);
        timeout_ = poll_->timeout_new(poll_, &when, &AvahiTimer::fire, this);
        if (!timeout_)
            qCWarning(lcNetworkThread, "cannot create a timer");
    }
    ~AvahiTimer() override {
        if (timeout_)
            poll_->timeout_free(timeout_);
    }

private:
    static void fire(AvahiTimeout* timeout, void* userdata) {
        auto* self = static_cast<AvahiTimer*>(userdata);
        // One-shot: disarm before calling out. The callback may destroy this
        // timer, so it runs from a copy.
        self->poll_->timeout_update(timeout, nullptr);
        const std::function<void()> callback = self->callback_;
        callback();
    }

    const AvahiPoll* poll_;
    std::function<void()> callback_;
    AvahiTimeout* timeout_ = nullptr;
};

class AvahiFdWatch final : public NetworkThread::Watch {
public:
    AvahiFdWatch(const AvahiPoll* poll, int fd, AvahiWatchEvent events,
                 std::function<void()> callback)
        : poll_(poll)
        , callback_(std::move(callback)) {
        watch_ = poll_->watch_new(poll_, fd, events, &AvahiFdWatch::fire, this);
        if (!watch_)
            qCWarning(lcNetworkThread, "cannot watch descriptor %d", fd);
    }
    ~AvahiFdWatch() override {
        if (watch_)
            poll_->watch_free(watch_);
    }

private:
    static void fire(AvahiWatch*, int, AvahiWatchEvent, void* userdata) {
        // The callback may destroy this watch, so it runs from a copy.
        const std::function<void()> callback = static_cast<AvahiFdWatch*>(userdata)->callback_;
        callback();
    }

    const AvahiPoll* poll_;
    std::function<void()> callback_;
    AvahiWatch* watch_ = nullptr;
};

} // namespace

struct NetworkThread::Private {
    AvahiThreadedPoll* threadedPoll = nullptr;
    const AvahiPoll* poll = nullptr;
    UniqueFd wakeFd;
    AvahiWatch* wakeWatch = nullptr;
    std::atomic<std::thread::id> threadId{};
    std::atomic<bool> running{false};

    std::mutex mutex;
    std::deque<std::function<void()>> queue;
    bool accepting = true;

    // On the network thread: runs everything queued so far.
    static void drain(AvahiWatch*, int fd, AvahiWatchEvent, void* userdata) {
        auto* d = static_cast<Private*>(userdata);
        d->threadId.store(std::this_thread::get_id());
        eventfd_t ignored = 0;
        while (eventfd_read(fd, &ignored) < 0 && errno == EINTR) {
        }
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard lock(d->mutex);
            batch.swap(d->queue);
        }
        for (auto& task : batch)
            task();
    }
};

NetworkThread::NetworkThread()
    : d(std::make_unique<Private>()) {
    d->threadedPoll = avahi_threaded_poll_new();
    if (!d->threadedPoll) {
        qCWarning(lcNetworkThread,
                  "avahi_threaded_poll_new failed: local-network discovery is off");
        return;
    }
    d->poll = avahi_threaded_poll_get(d->threadedPoll);
    d->wakeFd.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!d->wakeFd) {
        qCWarning(lcNetworkThread, "eventfd failed: %s", strerror(errno));
        return;
    }
    d->wakeWatch =
        d->poll->watch_new(d->poll, d->wakeFd.get(), AVAHI_WATCH_IN, &Private::drain, d.get());
    if (!d->wakeWatch || avahi_threaded_poll_start(d->threadedPoll) < 0) {
        qCWarning(lcNetworkThread, "cannot start the network thread");
        return;
    }
    d->running = true;
    post([] {}); // records the thread's id early
}

void NetworkThread::stop() {
    {
        std::lock_guard lock(d->mutex);
        d->accepting = false;
        d->queue.clear();
    }
    if (d->running)
        avahi_threaded_poll_stop(d->threadedPoll);
    d->running = false;
    // Everything from here on runs on the caller's thread.
    d->threadId.store(std::this_thread::get_id());
}

NetworkThread::~NetworkThread() {
    stop();
    if (d->wakeWatch)
        d->poll->watch_free(d->wakeWatch);
    if (d->threadedPoll)
        avahi_threaded_poll_free(d->threadedPoll);
}

bool NetworkThread::isRunning() const {
    return d->running;
}

const AvahiPoll* NetworkThread::poll() const {
    return d->poll;
}

void NetworkThread::post(std::function<void()> task) {
    {
        std::lock_guard lock(d->mutex);
        if (!d->accepting || !d->running)
            return;
        d->queue.push_back(std::move(task));
    }
    while (eventfd_write(d->wakeFd.get(), 1) < 0 && errno == EINTR) {
    }
}

bool NetworkThread::isCurrent() const {
    return d->threadId.load() == std::this_thread::get_id();
}

void NetworkThread::runOrPost(std::function<void()> task) {
    if (isCurrent())
        task();
    else
        post(std::move(task));
}

std::unique_ptr<NetworkThread::Timer> NetworkThread::after(std::chrono::milliseconds delay,
                                                           std::function<void()> callback) {
    return std::make_unique<AvahiTimer>(d->poll, delay, std::move(callback));
}

std::unique_ptr<NetworkThread::Watch>
NetworkThread::watchReadable(int fd, std::function<void()> onReadable) {
    return std::make_unique<AvahiFdWatch>(
        d->poll, fd, AvahiWatchEvent(AVAHI_WATCH_IN | AVAHI_WATCH_ERR | AVAHI_WATCH_HUP),
        std::move(onReadable));
}

std::unique_ptr<NetworkThread::Watch>
NetworkThread::watchWritable(int fd, std::function<void()> onWritable) {
    return std::make_unique<AvahiFdWatch>(
        d->poll, fd, AvahiWatchEvent(AVAHI_WATCH_OUT | AVAHI_WATCH_ERR | AVAHI_WATCH_HUP),
        std::move(onWritable));
}

} // namespace nimbrook

#include "platform/linux/LinuxNetwork.h"

#include "platform/linux/AvahiSession.h"
#include "platform/linux/NetlinkPathMonitoring.h"
#include "platform/linux/NetworkThread.h"

namespace nimbrook {

struct LinuxNetwork::Private {
    NetworkThread thread;
    AvahiSession avahi{thread};
    NetlinkPathMonitoring paths{thread};

    ~Private() {
        // Stop the thread first; then nothing runs while the Avahi objects and
        // sockets that lived on it are freed here.
        thread.stop();
        avahi.shutdown();
    }
};

LinuxNetwork::LinuxNetwork()
    : d(std::make_unique<Private>()) {
}

LinuxNetwork::~LinuxNetwork() = default;

ServiceBrowsing& LinuxNetwork::serviceBrowsing() {
    return d->avahi;
}
Connecting& LinuxNetwork::connecting() {
    return d->avahi;
}
LocalNames& LinuxNetwork::localNames() {
    return d->avahi;
}
PathMonitoring& LinuxNetwork::pathMonitoring() {
    return d->paths;
}

} // namespace nimbrook

#pragma once

#include <memory>

namespace nimbrook {

class Connecting;
class LocalNames;
class PathMonitoring;
class ServiceBrowsing;

// The Linux network backends on one network thread: Avahi for browsing,
// probes and local names, rtnetlink for the path. Destroy after every object
// that uses them.
class LinuxNetwork {
public:
    LinuxNetwork();
    ~LinuxNetwork();

    ServiceBrowsing& serviceBrowsing();
    Connecting& connecting();
    LocalNames& localNames();
    PathMonitoring& pathMonitoring();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace nimbrook

#pragma once

#include "discovery/Discovery.h"

#include <memory>

namespace nimbrook {

// The real platform services of a desktop session, owned in an order that
// keeps the scheduler alive longest. Create after the application object;
// destroy after every Discovery that uses it.
class DesktopPlatform {
public:
    DesktopPlatform();
    ~DesktopPlatform();

    DiscoveryPlatform discoveryPlatform();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace nimbrook

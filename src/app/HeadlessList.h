#pragma once

#include "app/CommandLine.h"

namespace nimbrook {

class DesktopPlatform;

// `nimbrook --list`: runs discovery without any window until the first
// Tailscale poll has been applied and the local network has settled, or
// until the wait runs out; prints the list; stops discovery. Returns the exit
// status. Needs a running QCoreApplication event loop to be available.
int runHeadlessList(const CommandLine& command, DesktopPlatform& platform);

} // namespace nimbrook

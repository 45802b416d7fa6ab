#pragma once

#include "app/CommandLine.h"

namespace nimbrook {

class DesktopPlatform;

// `nimbrook --watch`: runs discovery without any window and prints the list
// each time it changes (with --json, one object per line), until SIGINT or
// SIGTERM; then stops discovery and returns 0.
//
// With NIMBROOK_HEARTBEAT=1 it also measures how long the main thread goes
// without servicing its event loop and reports the longest gap on stderr
// every 10 s and at exit ("heartbeat: max gap N ms").
int runWatch(const CommandLine& command, DesktopPlatform& platform);

} // namespace nimbrook

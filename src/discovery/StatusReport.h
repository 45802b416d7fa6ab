#pragma once

#include "model/RemoteMac.h"
#include "model/TailscaleState.h"

#include <QList>

namespace nimbrook {

// What one `tailscale status --json` report says.
struct StatusReport {
    TailscaleState state = TailscaleState::notRunning; // ok, notRunning or needsLogin
    QList<RemoteMac> macs;                             // sorted by name; empty unless ok
    // Machines the report lists beyond the most a list can hold, left out.
    qsizetype leftOut = 0;

    friend bool operator==(const StatusReport&, const StatusReport&) = default;
};

} // namespace nimbrook

#pragma once

#include <QHashFunctions>
#include <QString>

namespace nimbrook {

// The published state of the Tailscale side. A Discovery starts in `searching`
// and never returns to it.
enum class TailscaleState {
    searching,    // no Tailscale result yet
    ok,           // the tool reported a running, signed-in node
    notInstalled, // the tool was not found
    notRunning,   // Tailscale is stopped, or its report was empty or unreadable
    needsLogin,   // sign-in or machine authorisation is needed, or no state yet
};

// The case name, for logs and machine-readable output.
QString toString(TailscaleState state);

inline size_t qHash(TailscaleState state, size_t seed = 0) noexcept {
    return ::qHash(static_cast<int>(state), seed);
}

} // namespace nimbrook

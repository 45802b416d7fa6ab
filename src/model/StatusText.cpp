#include "model/StatusText.h"

namespace nimbrook {

QString headerText(Listing listing) {
    return listing == Listing::macs ? QStringLiteral("My Macs") : QStringLiteral("My Computers");
}

QString statusText(TailscaleState state, Listing listing) {
    switch (state) {
    case TailscaleState::searching:
        return QStringLiteral("Searching\u2026");
    case TailscaleState::ok:
        return listing == Listing::macs ? QStringLiteral("No other Macs found")
                                        : QStringLiteral("No other computers found");
    case TailscaleState::notInstalled:
        return QStringLiteral("Tailscale not found \u2014 local network only");
    case TailscaleState::notRunning:
        return QStringLiteral("Tailscale isn\u2019t running");
    case TailscaleState::needsLogin:
        return QStringLiteral("Sign in to Tailscale");
    }
    return QStringLiteral("Searching\u2026");
}

QString noViewerText(const QString& machineName, const QString& viewer) {
    if (viewer.isEmpty())
        return QStringLiteral(
                   "No VNC viewer is installed \u2014 install Remmina to open \u201C%1\u201D")
            .arg(machineName);
    return QStringLiteral("%1 could not open \u201C%2\u201D").arg(viewer, machineName);
}

QString addressCopiedText(const QString& address) {
    return QStringLiteral("Its address, %1, is on the clipboard.").arg(address);
}

} // namespace nimbrook

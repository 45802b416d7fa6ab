#include "discovery/TailscaleCli.h"

#include "platform/FileSystem.h"
#include "platform/UserDefaults.h"

#include <QDir>

namespace nimbrook {

QStringList tailscaleCliCandidates(const FileSystem& fileSystem, const UserDefaults& defaults) {
    QStringList candidates;
    // The user's choice, used exactly as written: no trimming, no "~".
    if (const std::optional<QString> configured = defaults.stringForKey(tailscaleCliPathKey);
        configured && !configured->isEmpty())
        candidates.append(*configured);

    candidates.append(QStringLiteral("/Applications/Tailscale.app/Contents/MacOS/Tailscale"));
    candidates.append(QStringLiteral("/opt/homebrew/bin/tailscale"));
    candidates.append(QStringLiteral("/usr/local/bin/tailscale"));
    candidates.append(QStringLiteral("/opt/local/bin/tailscale"));
    if (const QString home = fileSystem.homeDirectory(); !home.isEmpty())
        candidates.append(QDir(home).filePath(
            QStringLiteral("Applications/Tailscale.app/Contents/MacOS/Tailscale")));

    // Where Linux packages put it.
    candidates.append(QStringLiteral("/usr/bin/tailscale"));
    candidates.append(QStringLiteral("/usr/sbin/tailscale"));
    candidates.append(QStringLiteral("/snap/bin/tailscale"));
    return candidates;
}

std::optional<QString> locateTailscaleCli(const FileSystem& fileSystem,
                                          const UserDefaults& defaults) {
    for (const QString& candidate : tailscaleCliCandidates(fileSystem, defaults)) {
        if (fileSystem.isExecutableFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

} // namespace nimbrook

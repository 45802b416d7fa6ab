#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace nimbrook {

class FileSystem;
class UserDefaults;

// The setting that names the user's own Tailscale tool.
inline const QString tailscaleCliPathKey = QStringLiteral("TailscaleCLIPath");

// The places the Tailscale tool is looked for, in order: the user's
// "TailscaleCLIPath" as written, then the usual install locations.
QStringList tailscaleCliCandidates(const FileSystem& fileSystem, const UserDefaults& defaults);

// The first executable among the candidates, searched afresh on every call.
std::optional<QString> locateTailscaleCli(const FileSystem& fileSystem,
                                          const UserDefaults& defaults);

} // namespace nimbrook

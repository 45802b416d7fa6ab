#pragma once

#include "model/TailscaleState.h"

#include <QString>

namespace nimbrook {

// What the list holds: Macs only, as it does unless the user asks for other
// systems, or computers of several systems.
enum class Listing { macs, computers };

// The panel's heading: "My Macs" or "My Computers".
QString headerText(Listing listing);

// The line shown in place of the machine list when it is empty.
QString statusText(TailscaleState state, Listing listing);

// What the user is told when a chosen machine could not be opened: none of
// the desktop's applications opens vnc:// (`viewer` empty), or `viewer`
// could not start.
QString noViewerText(const QString& machineName, const QString& viewer);
// The second line of it: where the address went instead.
QString addressCopiedText(const QString& address);

} // namespace nimbrook

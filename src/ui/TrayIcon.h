#pragma once

#include <QIcon>

namespace nimbrook {

// The tray icon: the computer glyph in white inside a black outline, so it
// reads on a dark bar and on a light one whatever the palette says. Its theme
// name is the installed symbolic icon's, which StatusNotifierItem hosts that
// recolour symbolic icons to match their bar use instead of the pixels.
QIcon trayIcon();

// The name of the symbolic icon installed into the hicolor theme.
inline constexpr char trayIconThemeName[] = "io.github.nimbrook.nimbrook-symbolic";

} // namespace nimbrook

#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace nimbrook {

// Where the panel goes for a click at `anchor` (the tray icon, or the point
// the tray gave): centred under it when there is room, else above it; always
// inside `available`.
QPoint panelPosition(const QRect& anchor, const QSize& panel, const QRect& available);

// The part of `screen` beside the bar a click at `click` came from, where the
// windowing system does not say which part the desktop's bars take (Wayland):
// a click within `reach` of an edge is taken to be in a bar along it, its
// icons in the bar's middle, so the bar is twice as deep as the click is from
// the edge (an icon in a corner keeps both edges clear). A click farther in
// leaves the whole screen.
QRect areaBesideBar(const QRect& screen, const QPoint& click, int reach = 80);

} // namespace nimbrook

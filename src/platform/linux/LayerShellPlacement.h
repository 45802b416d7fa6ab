#pragma once

#include <QRect>

class QWindow;

namespace nimbrook {

// Placing a window of our own on Wayland, where a compositor places every
// ordinary window itself (KWin centres it, far from a tray icon in a corner).
// Compositors that offer the layer-shell protocol let a surface be pinned to
// an output's edges with margins: that is how a window goes where we put it.
// Built where layer-shell-qt is there (Qt 6.8 and later); elsewhere nothing
// is adopted and the compositor places the window.
class LayerShellPlacement {
public:
    // Makes `window` a layer surface before it is first shown: above other
    // windows, taking the keyboard when the compositor gives it the focus.
    // Only where the compositor offers the layer-shell protocol and closes
    // what we put there as a panel should be closed (KWin); false elsewhere
    // (the window stays ordinary).
    static bool adopt(QWindow& window);

    // Puts an adopted window at `placed` (global coordinates) on the output
    // whose geometry is `screen`, or lets the compositor centre it when
    // `placed` is null. As the window's size changes, its sides nearest to
    // the output's edges stay where they are.
    static void moveTo(QWindow& window, const QRect& placed, const QRect& screen);
};

} // namespace nimbrook

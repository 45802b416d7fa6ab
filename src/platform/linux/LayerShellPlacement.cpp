#include "platform/linux/LayerShellPlacement.h"

#include <QWindow>

#ifdef NIMBROOK_HAVE_LAYER_SHELL
#include <LayerShellQt/Window>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <wayland-client.h>

#include <cstring>
#endif

namespace nimbrook {

#ifdef NIMBROOK_HAVE_LAYER_SHELL

namespace {

// What the compositor offers of what a panel of ours needs.
struct Globals {
    bool layerShell = false;
    bool plasmaShell = false; // KWin's
};

void noteGlobal(void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, "zwlr_layer_shell_v1") == 0)
        globals->layerShell = true;
    else if (std::strcmp(interface, "org_kde_plasma_shell") == 0)
        globals->plasmaShell = true;
}

void ignoreGlobalRemoval(void*, wl_registry*, uint32_t) {
}

// Asks the compositor for its globals on a queue of our own, so that Qt's
// queue and its registry see nothing of it.
Globals compositorGlobals() {
    Globals globals;
    auto* wayland =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QWaylandApplication>() : nullptr;
    wl_display* display = wayland ? wayland->display() : nullptr;
    if (!display)
        return globals;
    wl_event_queue* queue = wl_display_create_queue(display);
    if (!queue)
        return globals;
    if (auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display))) {
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
        if (wl_registry* registry = wl_display_get_registry(wrapper)) {
            static const wl_registry_listener listener{noteGlobal, ignoreGlobalRemoval};
            wl_registry_add_listener(registry, &listener, &globals);
            if (wl_display_roundtrip_queue(display, queue) < 0)
                globals = Globals();
            wl_registry_destroy(registry);
        }
        wl_proxy_wrapper_destroy(wrapper);
    }
    wl_event_queue_destroy(queue);
    return globals;
}

// KWin takes the focus from a layer surface when the user clicks elsewhere,
// which closes our panel; sway leaves it there after a click on the empty
// desktop, so the panel would stay open: there it stays an ordinary window.
bool layerShellServesAsPanel() {
    const Globals globals = compositorGlobals();
    return globals.layerShell && globals.plasmaShell;
}

} // namespace

bool LayerShellPlacement::adopt(QWindow& window) {
    if (!layerShellServesAsPanel())
        return false;
    window.create();
    LayerShellQt::Window* layer = LayerShellQt::Window::get(&window);
    if (!layer)
        return false;
    layer->setScope(QStringLiteral("nimbrook-panel"));
    layer->setLayer(LayerShellQt::Window::LayerTop);
    // Not exclusive: a click elsewhere must take the focus away, which is
    // what closes the panel.
    layer->setKeyboardInteractivity(LayerShellQt::Window::KeyboardInteractivityOnDemand);
    // Margins count from the output's edges, not from the space its panels
    // leave: the panel is put beside the tray, over the bar's own reserve.
    layer->setExclusiveZone(-1);
    layer->setAnchors(LayerShellQt::Window::AnchorNone);
    return true;
}

void LayerShellPlacement::moveTo(QWindow& window, const QRect& placed, const QRect& screen) {
    LayerShellQt::Window* layer = LayerShellQt::Window::get(&window);
    if (!layer)
        return;
    if (placed.isNull()) {
        layer->setAnchors(LayerShellQt::Window::AnchorNone);
        layer->setMargins(QMargins());
        return;
    }
    // Pinned by the edges nearest to it, which are those of the bar it opened
    // from: as the list grows or shrinks, the side by the tray stays put.
    const bool low = placed.center().y() > screen.center().y();
    const bool right = placed.center().x() > screen.center().x();
    LayerShellQt::Window::Anchors anchors;
    anchors |= low ? LayerShellQt::Window::AnchorBottom : LayerShellQt::Window::AnchorTop;
    anchors |= right ? LayerShellQt::Window::AnchorRight : LayerShellQt::Window::AnchorLeft;
    layer->setAnchors(anchors);
    layer->setMargins(QMargins(
        right ? 0 : placed.left() - screen.left(), low ? 0 : placed.top() - screen.top(),
        right ? screen.right() - placed.right() : 0, low ? screen.bottom() - placed.bottom() : 0));
}

#else

bool LayerShellPlacement::adopt(QWindow&) {
    return false;
}
void LayerShellPlacement::moveTo(QWindow&, const QRect&, const QRect&) {
}

#endif

} // namespace nimbrook

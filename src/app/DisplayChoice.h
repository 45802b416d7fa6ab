#pragma once

#include <QString>

#include <functional>

namespace nimbrook {

// What the session's variables say about where windows can go, before Qt
// looks: Qt aborts when the display it picks is not there.
struct DisplayEnvironment {
    QString waylandDisplay; // WAYLAND_DISPLAY
    QString runtimeDir;     // XDG_RUNTIME_DIR
    QString x11Display;     // DISPLAY
    QString qpaPlatform;    // QT_QPA_PLATFORM
};

struct DisplayChoice {
    enum class Outcome {
        asIs,       // let Qt choose
        useX11,     // the Wayland display is gone; X11 is there
        useWayland, // the X display is gone; Wayland is there
        none,       // nothing to show windows on: `message` says why
    };
    Outcome outcome = Outcome::asIs;
    QString message;
};

// `answers(path)`: whether a program listens on the local socket at `path`.
DisplayChoice chooseDisplay(const DisplayEnvironment& environment,
                            const std::function<bool(const QString&)>& answers);

// The socket of an X display named like ":0" or ":1.0"; empty for a display
// on another host, which cannot be looked at here.
QString x11SocketPath(const QString& display);

// What to say when no tray shows up: GNOME keeps its tray in an extension.
QString noTrayMessage(const QString& currentDesktop);

} // namespace nimbrook

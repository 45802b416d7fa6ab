#include "app/DisplayChoice.h"

#include <QStringList>

namespace nimbrook {

namespace {

const QString useListHint = QStringLiteral("; use `nimbrook --list` to list machines without one");

} // namespace

QString x11SocketPath(const QString& display) {
    if (!display.startsWith(u':'))
        return {};
    QString number = display.mid(1);
    number.truncate(number.indexOf(u'.') >= 0 ? number.indexOf(u'.') : number.size());
    bool isNumber = false;
    number.toUInt(&isNumber);
    return isNumber ? QStringLiteral("/tmp/.X11-unix/X") + number : QString();
}

DisplayChoice chooseDisplay(const DisplayEnvironment& environment,
                            const std::function<bool(const QString&)>& answers) {
    using Outcome = DisplayChoice::Outcome;
    const bool wantsOther = !environment.qpaPlatform.isEmpty() &&
                            !environment.qpaPlatform.startsWith(QLatin1StringView("wayland")) &&
                            !environment.qpaPlatform.startsWith(QLatin1StringView("xcb"));
    // Offscreen, VNC or a platform of the user's choice: theirs to answer for.
    if (wantsOther)
        return {};
    const bool hasWayland = !environment.waylandDisplay.isEmpty();
    const bool hasX11 = !environment.x11Display.isEmpty();
    if (!hasWayland && !hasX11) {
        return {Outcome::none,
                QStringLiteral("nimbrook: no display to show the tray icon on") + useListHint};
    }
    QString waylandSocket;
    if (hasWayland) {
        waylandSocket = environment.waylandDisplay.startsWith(u'/') ? environment.waylandDisplay
                        : environment.runtimeDir.isEmpty()
                            ? QString()
                            : environment.runtimeDir + u'/' + environment.waylandDisplay;
    }
    const bool waylandAlive = hasWayland && !waylandSocket.isEmpty() && answers(waylandSocket);
    const QString x11Socket = x11SocketPath(environment.x11Display);
    // A display on another host is taken on trust.
    const bool x11Alive = hasX11 && (x11Socket.isEmpty() || answers(x11Socket));
    // Qt goes for X11 on GNOME whatever the session says: with no X display
    // there, that is an abort.
    if (waylandAlive && !hasX11 && environment.qpaPlatform.isEmpty())
        return {Outcome::useWayland, {}};
    if ((!hasWayland || waylandAlive) && (!hasX11 || x11Alive))
        return {};
    if (hasWayland && !waylandAlive && x11Alive)
        return {Outcome::useX11, {}};
    if (hasX11 && !x11Alive && waylandAlive)
        return {Outcome::useWayland, {}};
    QStringList gone;
    if (hasWayland) {
        gone << QStringLiteral("the Wayland display \"%1\" (nothing answers at %2)")
                    .arg(environment.waylandDisplay,
                         waylandSocket.isEmpty() ? QStringLiteral("an unknown place: "
                                                                  "XDG_RUNTIME_DIR is not set")
                                                 : waylandSocket);
    }
    if (hasX11) {
        gone << QStringLiteral("the X display \"%1\" (nothing answers at %2)")
                    .arg(environment.x11Display, x11Socket);
    }
    return {Outcome::none,
            QStringLiteral("nimbrook: %1 %2 not there")
                    .arg(gone.join(QStringLiteral(" and ")),
                         gone.size() > 1 ? QStringLiteral("are") : QStringLiteral("is")) +
                useListHint};
}

QString noTrayMessage(const QString& currentDesktop) {
    const bool gnome =
        currentDesktop.split(u':').contains(QLatin1StringView("GNOME"), Qt::CaseInsensitive);
    return gnome ? QStringLiteral("nimbrook: no system tray found (on GNOME, install or enable the "
                                  "AppIndicator extension); showing the panel in a window instead")
                 : QStringLiteral(
                       "nimbrook: no system tray found; showing the panel in a window instead");
}

} // namespace nimbrook

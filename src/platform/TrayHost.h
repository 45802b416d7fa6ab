#pragma once

#include <QObject>

namespace nimbrook {

// Whether the desktop has somewhere to show a tray icon, now and later: a
// panel that starts after us, or restarts, must still get the icon, and an
// icon whose host is gone for good must give way to a window.
class TrayHost : public QObject {
    Q_OBJECT

public:
    enum class Kind {
        none,
        statusNotifier, // a StatusNotifierItem host, through its watcher
        xembed,         // an X11 system tray that embeds icon windows
    };

    using QObject::QObject;

    // What kind of host is there now; a StatusNotifierItem host wins.
    virtual Kind present() const = 0;
    bool isPresent() const { return present() != Kind::none; }

signals:
    // A host appeared, or replaced the one there was: an icon shown before is
    // gone with the old host and must be shown again.
    void appeared();
    // The host there was went away, with no other in its place.
    void disappeared();
};

} // namespace nimbrook

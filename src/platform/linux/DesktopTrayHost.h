#pragma once

#include "platform/TrayHost.h"

#include <QTimer>

class QDBusServiceWatcher;

namespace nimbrook {

// Tray hosts on a Linux desktop: the StatusNotifierWatcher on the session bus
// (KDE, waybar, xfce4-panel, GNOME's AppIndicator extension), watched by name
// and by its host registrations; and on X11 the XEmbed system tray selection,
// looked at every second while there is none or it is the one in use (its
// owner going away says nothing to us otherwise). The watcher is never waited
// for: its answer comes within a second or counts as no host; until it comes,
// a watcher that is there counts as having its host.
class DesktopTrayHost final : public TrayHost {
    Q_OBJECT

public:
    explicit DesktopTrayHost(QObject* parent = nullptr);
    ~DesktopTrayHost() override;

    Kind present() const override;

private slots:
    void recheck();

private:
    // Asks the watcher whether a host is registered, without waiting; its
    // answer (or a timeout, counted as no host) updates present().
    void askWatcher();
    // Works out present() from what is known, and says what changed.
    void update();
    Kind look() const;

    bool statusNotifierHostPresent() const;
    bool xembedTrayPresent() const;

    QDBusServiceWatcher* watcher_ = nullptr;
    QTimer xembedCheck_;
    Kind present_ = Kind::none;
    bool watcherHasHost_ = false; // its last answer
    bool watcherKnown_ = false;   // answered since it (re)appeared
    bool asking_ = false;
    bool askAgain_ = false; // asked for while a question was out
};

} // namespace nimbrook

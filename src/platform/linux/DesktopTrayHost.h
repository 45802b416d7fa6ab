#pragma once

#include "platform/TrayHost.h"

#include <QTimer>

class QDBusServiceWatcher;

namespace nimbrook {

// Tray hosts on a Linux desktop: the StatusNotifierWatcher on the session bus
// (KDE, waybar, xfce4-panel, GNOME's AppIndicator extension), watched by name
// and by its host registrations; and on X11 the XEmbed system tray selection,
// looked at every second while there is none or it is the one in use (its
// owner going away says nothing to us otherwise).
class DesktopTrayHost final : public TrayHost {
    Q_OBJECT

public:
    explicit DesktopTrayHost(QObject* parent = nullptr);
    ~DesktopTrayHost() override;

    Kind present() const override;

private slots:
    void recheck();

private:
    Kind look() const;

    bool statusNotifierHostPresent() const;
    bool xembedTrayPresent() const;

    QDBusServiceWatcher* watcher_ = nullptr;
    QTimer xembedCheck_;
    Kind present_ = Kind::none;
};

} // namespace nimbrook

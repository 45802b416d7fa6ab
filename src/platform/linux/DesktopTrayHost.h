#pragma once

#include "platform/TrayHost.h"

#include <QTimer>

class QDBusServiceWatcher;

namespace nimbrook {

// Tray hosts on a Linux desktop: the StatusNotifierWatcher on the session bus
// (KDE, waybar, xfce4-panel, GNOME's AppIndicator extension), watched by name
// and by its host registrations; and on X11 the XEmbed system tray selection,
// looked at every second while there is no host.
class DesktopTrayHost final : public TrayHost {
    Q_OBJECT

public:
    explicit DesktopTrayHost(QObject* parent = nullptr);
    ~DesktopTrayHost() override;

    bool isPresent() const override;

private slots:
    void recheck();

private:
    bool statusNotifierHostPresent() const;
    bool xembedTrayPresent() const;

    QDBusServiceWatcher* watcher_ = nullptr;
    QTimer xembedCheck_;
    bool present_ = false;
};

} // namespace nimbrook

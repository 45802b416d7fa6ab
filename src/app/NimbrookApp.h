#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class QSystemTrayIcon;
class QWidget;

namespace nimbrook {

class AppcastUpdater;
class DesktopPlatform;
class Discovery;
class MenuContent;
class Notifications;
class OnlineNotifier;
class TrayHost;
class TrayMenu;
class NimbrookUpdater;
class UpdateNotifier;

// The tray application: one icon, one panel under it. Owns the one Discovery
// and the one NimbrookUpdater, each made on first use. Every showing of the
// panel starts discovery (only the first has an effect); Quit stops it and
// ends the program.
class NimbrookApp final : public QObject {
    Q_OBJECT

public:
    explicit NimbrookApp(DesktopPlatform& platform);
    ~NimbrookApp() override;

    // Shows the tray icon, or after a grace period without a tray, the panel
    // in a small window, until a tray appears. Returns at once.
    void launch();

    Discovery& discovery();
    NimbrookUpdater& updater();

private:
    MenuContent& content();
    void togglePanel();
    void showInWindow();
    void showTrayIcon();
    void hidePanel();

    DesktopPlatform& platform_;
    std::unique_ptr<Discovery> discovery_;
    std::unique_ptr<UpdateNotifier> notifier_;
    std::unique_ptr<NimbrookUpdater> updater_;
    std::unique_ptr<QWidget> panel_;
    QPointer<MenuContent> content_;
    std::unique_ptr<Notifications> notifications_;
    std::unique_ptr<OnlineNotifier> onlineNotifier_;
    std::unique_ptr<TrayHost> trayHost_;
    std::unique_ptr<TrayMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> tray_;
};

} // namespace nimbrook

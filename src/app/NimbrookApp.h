#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPalette>
#include <QPoint>
#include <QPointer>
#include <QTimer>

#include <memory>

class QMessageBox;

namespace nimbrook {

class AppInstance;
class Appearance;
class DesktopPlatform;
class Discovery;
class FallbackWindow;
class MenuActions;
class MenuContent;
class Notifications;
class OnlineNotifier;
class PanelPopup;
class StatusIcon;
class TrayHost;
class TrayMenu;
class NimbrookUpdater;
class UpdateNotifier;

// The tray application: one icon, one panel under it. Owns the one Discovery
// (made on first use), the one NimbrookUpdater (made at launch) and every
// desktop backend of the tray side. Every showing of the panel starts discovery (only
// the first has an effect); Quit stops it and ends the program.
class NimbrookApp final : public QObject {
    Q_OBJECT

public:
    explicit NimbrookApp(DesktopPlatform& platform);
    ~NimbrookApp() override;

    // Makes this the session's one instance. False when another one is
    // running: it has been asked to show its panel, and this one should end.
    bool claimInstance();

    // Shows the tray icon, or after a grace period without a tray, the panel
    // in a small window, until a tray appears. Returns at once.
    void launch();

    Discovery& discovery();
    NimbrookUpdater& updater();

private:
    MenuContent& content();
    MenuActions& actions();
    void togglePanel(const QPoint& at);
    void showPanel(const QPoint& at);
    void showInWindow();
    void showTrayIcon();
    void hidePanel();
    void followColorScheme();
    // Says what went wrong with what the user just did: a notification, and
    // the panel's status line.
    void tell(const QString& summary, const QString& body);
    // Non-modal; asking again for the same alert raises it.
    void showAlert(const QString& message, const QString& informative);

    DesktopPlatform& platform_;
    std::unique_ptr<AppInstance> instance_;
    std::unique_ptr<Appearance> appearance_;
    std::unique_ptr<Discovery> discovery_;
    std::unique_ptr<UpdateNotifier> notifier_;
    std::unique_ptr<NimbrookUpdater> updater_;
    std::unique_ptr<MenuActions> actions_;
    std::unique_ptr<PanelPopup> panel_;
    std::unique_ptr<FallbackWindow> window_;
    QPointer<MenuContent> content_;
    std::unique_ptr<Notifications> notifications_;
    std::unique_ptr<OnlineNotifier> onlineNotifier_;
    std::unique_ptr<TrayHost> trayHost_;
    std::unique_ptr<TrayMenu> menu_;
    std::unique_ptr<StatusIcon> tray_;
    // Running while there is no tray host: at its end the panel shows in a window.
    QTimer hostWait_;
    QElapsedTimer sinceLaunch_;
    // The style's own colours, for a desktop that stops preferring either.
    QPalette startPalette_;
    QPointer<QMessageBox> alert_;
    // The token of the activation asked for on the session bus, for the
    // window it shows.
    QString activationToken_;
};

} // namespace nimbrook

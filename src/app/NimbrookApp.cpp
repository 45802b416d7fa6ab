#include "app/NimbrookApp.h"

#include "app/AppcastModule.h"
#include "app/DesktopPlatform.h"
#include "app/DisplayChoice.h"
#include "app/NimbrookUpdater.h"
#include "app/OnlineNotifier.h"
#include "app/PanelPlacement.h"
#include "app/UpdateNotifier.h"
#include "discovery/Discovery.h"
#include "model/AddressText.h"
#include "model/StatusText.h"
#include "platform/AppInstance.h"
#include "platform/Appearance.h"
#include "platform/Notifications.h"
#include "platform/StatusIcon.h"
#include "platform/TrayHost.h"
#include "platform/linux/LayerShellPlacement.h"
#include "ui/MenuActions.h"
#include "ui/MenuContent.h"
#include "ui/Style.h"
#include "ui/TrayIcon.h"
#include "ui/TrayMenu.h"

#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace nimbrook {

// The info lines of this category ("tray icon set", "tray shown, icon geometry
// X,Y WxH", "panel shown at X,Y WxH", "panel hidden", "panel shown in a
// window", "panel window closed", "asked to show itself", "tray host gone",
// "colours: dark") are read by the end-to-end tests and the
// benchmarks in tests/e2e and scripts/lib: change them together.
Q_LOGGING_CATEGORY(lcApp, "nimbrook.app", QtWarningMsg)

namespace {

// How long to wait for a tray before showing the panel in a window (a panel
// that starts with the session can be slower than us). A tray that comes
// later still gets the icon.
constexpr auto trayGracePeriod = std::chrono::milliseconds(3000);

bool onWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1StringView("wayland"));
}

// Activates `window`, handing the compositor `token` (then spent) the way
// Qt's Wayland backend takes it: from the environment, which is left without
// it again at once, so that no program we start inherits it.
void activateWith(QWidget* window, QString& token) {
    if (token.isEmpty()) {
        window->activateWindow();
        return;
    }
    qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    window->activateWindow();
    qunsetenv("XDG_ACTIVATION_TOKEN");
    token.clear();
}

} // namespace

// The panel: a frameless popup that closes when the user clicks elsewhere.
// Wayland has no popup without a parent window and lets no program place its
// own windows: there it is a frameless window of fixed size (which tiling
// compositors float) that closes when it loses the focus or on Escape. The
// compositor places it, unless it offers the layer-shell protocol: then it
// goes by the tray, as on X11.
class PanelPopup final : public QWidget {
public:
    PanelPopup()
        : QWidget(nullptr, onWayland() ? Qt::Window | Qt::FramelessWindowHint
                                       : Qt::Popup | Qt::FramelessWindowHint) {
        setAttribute(Qt::WA_DeleteOnClose, false);
        setWindowTitle(QStringLiteral("Nimbrook"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        if (onWayland()) {
            createWinId();
            layered_ = windowHandle() && LayerShellPlacement::adopt(*windowHandle());
        }
    }

    // Whether showAt() puts it where it says, rather than the compositor.
    bool placesItself() const { return !onWayland() || layered_; }

    // Under the anchor when there is room, else above it; always on screen.
    void showAt(const QRect& anchor) {
        anchor_ = anchor;
        adjustSize();
        place();
        // The content places the focus as it shows (on the first row): taking
        // it for the window itself here would leave typing nowhere to go.
        show();
        raise();
        // A Wayland compositor activates only a window it has mapped (and Qt
        // spends the launcher's activation token on the first try): the first
        // showing asks once the window is on screen.
        if (windowHandle() && !windowHandle()->isExposed()) {
            windowHandle()->removeEventFilter(this);
            windowHandle()->installEventFilter(this);
        } else {
            activateWith(this, activationToken);
        }
        takeKeyboard(20);
        qCInfo(lcApp, "panel shown at %d,%d %dx%d", x(), y(), width(), height());
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // After the exposure is handled: its first frame is what maps the window.
        if (event->type() == QEvent::Expose && windowHandle() && windowHandle()->isExposed()) {
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(
                this, [this] { activateWith(this, activationToken); }, Qt::QueuedConnection);
        }
        return QWidget::eventFilter(watched, event);
    }

    bool event(QEvent* event) override {
        if (event->type() == QEvent::WindowDeactivate && windowType() != Qt::Popup && isVisible())
            hide();
        return QWidget::event(event);
    }

    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) {
            hide();
            return;
        }
        QWidget::keyPressEvent(event);
    }

    // The list grows and shrinks while the panel is open: keep it by the icon.
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (!isVisible())
            return;
        if (!layered_) {
            place();
            return;
        }
        // KWin arranges a layer surface anew when its margins change, not
        // when only its size does: the new size a pixel off at first, then
        // in its place, with a frame of its own to carry the change.
        place(1);
        QTimer::singleShot(0, this, [this] {
            if (!isVisible())
                return;
            place();
            update();
        });
    }

    void hideEvent(QHideEvent* event) override {
        QWidget::hideEvent(event);
        qCInfo(lcApp, "panel hidden");
    }

private:
    // On X11 a popup gets the keys by grabbing the keyboard, which fails
    // while the panel that was clicked still holds it: try again until it is
    // free, so that every opening, not just the first, takes the keyboard.
    void takeKeyboard(int triesLeft) {
        if (!isVisible() || windowType() != Qt::Popup || !windowHandle())
            return;
        if (windowHandle()->setKeyboardGrabEnabled(true) || triesLeft == 0)
            return;
        QTimer::singleShot(50, this, [this, triesLeft] { takeKeyboard(triesLeft - 1); });
    }

    // `nudge`: pixels down from where it belongs (a layer surface only).
    void place(int nudge = 0) {
        if (anchor_.isNull()) {
            if (layered_)
                LayerShellPlacement::moveTo(*windowHandle(), QRect(), QRect());
            return; // the compositor's choice
        }
        const QScreen* screen = QGuiApplication::screenAt(anchor_.center());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        const QRect whole = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
        // Wayland does not tell which part of the screen the bars take.
        const QRect available = !screen    ? whole
                                : layered_ ? areaBesideBar(whole, anchor_.center())
                                           : screen->availableGeometry();
        const QPoint position = panelPosition(anchor_, size(), available);
        move(position);
        if (layered_ && !isVisible() && screen)
            windowHandle()->setScreen(const_cast<QScreen*>(screen));
        if (layered_)
            LayerShellPlacement::moveTo(*windowHandle(), QRect(position + QPoint(0, nudge), size()),
                                        whole);
    }

    QRect anchor_;
    bool layered_ = false; // a layer surface, which we place

public:
    // Spent on the next activation.
    QString activationToken;
};

// The panel in an ordinary window, for desktops without a tray; closing it
// quits, as there is no other way back to it.
class FallbackWindow final : public QWidget {
public:
    explicit FallbackWindow(std::function<void()> onClose)
        : onClose_(std::move(onClose)) {
        setWindowTitle(QStringLiteral("Nimbrook"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->accept();
        if (onClose_)
            onClose_();
    }

private:
    std::function<void()> onClose_;
};

NimbrookApp::NimbrookApp(DesktopPlatform& platform)
    : platform_(platform) {
    hostWait_.setSingleShot(true);
    hostWait_.setInterval(trayGracePeriod);
    connect(&hostWait_, &QTimer::timeout, this, [this] {
        if (trayHost_ && trayHost_->isPresent())
            return;
        std::fputs(qPrintable(noTrayMessage(qEnvironmentVariable("XDG_CURRENT_DESKTOP")) + u'\n'),
                   stderr);
        showInWindow();
    });
}

NimbrookApp::~NimbrookApp() {
    delete alert_;
    // The panel, the menu and the notifier refer to the Discovery: they go first.
    onlineNotifier_.reset();
    tray_.reset();
    menu_.reset();
    panel_.reset();
    window_.reset();
    actions_.reset();
}

bool NimbrookApp::claimInstance() {
    instance_ = platform_.makeAppInstance(QStringLiteral("io.github.nimbrook.nimbrook"));
    connect(instance_.get(), &AppInstance::activationRequested, this,
            [this](const QString& activationToken) {
                qCInfo(lcApp, "asked to show itself");
                // Qt's Wayland backend activates with it: only the window
                // shown for this request.
                activationToken_ = onWayland() ? activationToken : QString();
                showPanel(QPoint());
            });
    return instance_->claim();
}

Discovery& NimbrookApp::discovery() {
    if (!discovery_)
        discovery_ = std::make_unique<Discovery>(platform_.discoveryPlatform());
    return *discovery_;
}

void NimbrookApp::tell(const QString& summary, const QString& body) {
    // A notification reaches the user wherever they are; the panel says it
    // too, for a desktop without a notification service.
    notifications_->show(summary, body, QString(), QString());
    if (content_)
        content_->showNotice(summary);
}

void NimbrookApp::showAlert(const QString& message, const QString& informative) {
    // Non-modal, and one: asking again raises it rather than stacking another
    // (a host may repeat a click many times over).
    if (!alert_ || alert_->text() != message || alert_->informativeText() != informative) {
        if (alert_)
            alert_->close();
        alert_ = new QMessageBox(QMessageBox::Information, QStringLiteral("Nimbrook"), message,
                                 QMessageBox::Ok);
        alert_->setAttribute(Qt::WA_DeleteOnClose);
        alert_->setInformativeText(informative);
    }
    alert_->show();
    alert_->raise();
    alert_->activateWindow();
}

NimbrookUpdater& NimbrookApp::updater() {
    if (!updater_) {
        notifier_ = std::make_unique<DialogUpdateNotifier>();
        updater_ = std::make_unique<NimbrookUpdater>(
            NimbrookUpdater::buildInformation(), QProcessEnvironment::systemEnvironment(),
            [this](const QUrl& feed, bool start) {
                return loadAppcastUpdater(feed, QCoreApplication::applicationVersion(), start,
                                          *notifier_);
            },
            [this](const QString& message, const QString& informative) {
                showAlert(message, informative);
            });
    }
    return *updater_;
}

MenuActions& NimbrookApp::actions() {
    if (!actions_) {
        actions_ = std::make_unique<MenuActions>(
            discovery(), [this] { updater().checkForUpdates(); }, [] { QCoreApplication::quit(); });
        connect(actions_.get(), &MenuActions::choosing, this, &NimbrookApp::hidePanel);
        // The menu lists the first machines; the panel has them all, and
        // scrolls, filters and takes the keyboard.
        connect(actions_->showAll(), &QAction::triggered, this, [this] { showPanel(QPoint()); });
    }
    return *actions_;
}

MenuContent& NimbrookApp::content() {
    if (!content_) {
        content_ = new MenuContent(discovery(), actions());
        connect(content_, &MenuContent::shown, this, [this] { discovery().start(); });
        connect(content_, &MenuContent::closeRequested, this, &NimbrookApp::hidePanel);
    }
    return *content_;
}

void NimbrookApp::followColorScheme() {
    switch (appearance_->colorScheme()) {
    case Appearance::ColorScheme::dark:
        QApplication::setPalette(style::darkPalette());
        qCInfo(lcApp, "colours: dark");
        break;
    case Appearance::ColorScheme::light:
        QApplication::setPalette(style::lightPalette());
        qCInfo(lcApp, "colours: light");
        break;
    case Appearance::ColorScheme::noPreference:
        QApplication::setPalette(startPalette_);
        qCInfo(lcApp, "colours: the style's own");
        break;
    }
    // Hosts recolour a symbolic icon when they load it, not when their colours
    // change (Plasma): a new icon makes them load it again, now and once more
    // when the host has surely taken its new colours itself.
    const auto reloadIcon = [this] {
        if (tray_ && menu_)
            tray_->show(trayIcon(), QStringLiteral("Nimbrook"), menu_.get());
    };
    reloadIcon();
    QTimer::singleShot(1000, this, reloadIcon);
}

void NimbrookApp::launch() {
    startPalette_ = QApplication::palette();
    appearance_ = platform_.makeAppearance();
    if (appearance_->colorScheme() != Appearance::ColorScheme::noPreference)
        followColorScheme();
    connect(appearance_.get(), &Appearance::colorSchemeChanged, this,
            &NimbrookApp::followColorScheme);

    notifications_ = platform_.makeNotifications();
    onlineNotifier_ = std::make_unique<OnlineNotifier>(discovery(), *notifications_,
                                                       platform_.discoveryPlatform().scheduler,
                                                       [this](const RemoteMac& mac) {
                                                           hidePanel();
                                                           discovery().connect(mac);
                                                       });
    // What went wrong with what the user just did is said where they look.
    connect(&discovery().preferences(), &MachinePreferences::saveFailed, this,
            [this](const QString& message) { tell(message, QString()); });
    connect(&discovery(), &Discovery::connectFailed, this,
            [this](const RemoteMac& mac, const UrlOpener::Result& result) {
                // The address is there to paste into whatever viewer there is.
                const QString address = readableAddress(mac.address);
                QGuiApplication::clipboard()->setText(address);
                QString body = addressCopiedText(address);
                if (!result.reason.isEmpty())
                    body.prepend(result.reason + QLatin1Char('\n'));
                tell(noViewerText(mac.name, result.handler), body);
            });
    // Machines to announce: discovery runs from the start, not from the
    // first showing of the panel.
    if (!discovery().preferences().notifyWhenOnline().isEmpty())
        discovery().start();

    trayHost_ = platform_.makeTrayHost();
    // A panel that starts after us, or restarts, gets the icon (again).
    connect(trayHost_.get(), &TrayHost::appeared, this, &NimbrookApp::showTrayIcon);
    // A host gone for good leaves a window in the icon's place, as at start.
    // Within the grace period after launch, only what is left of it.
    sinceLaunch_.start();
    connect(trayHost_.get(), &TrayHost::disappeared, this, [this] {
        qCInfo(lcApp, "tray host gone");
        const auto elapsed = std::chrono::milliseconds(sinceLaunch_.elapsed());
        hostWait_.start(elapsed < trayGracePeriod ? trayGracePeriod - elapsed : trayGracePeriod);
    });
    if (trayHost_->isPresent())
        showTrayIcon();
    else
        hostWait_.start(trayGracePeriod);

    // A build with a feed checks at start-up and daily from now on (once the
    // icon is up); without one the updater loads nothing for updates.
    QTimer::singleShot(0, this, [this] { updater(); });
}

void NimbrookApp::showTrayIcon() {
    hostWait_.stop();
    // A new host knows nothing of the icon shown to the one before: make it
    // anew, of the kind the host takes.
    tray_.reset();
    tray_ = platform_.makeStatusIcon(trayHost_->present());
    if (!menu_)
        menu_ = std::make_unique<TrayMenu>(discovery(), actions());
    connect(tray_.get(), &StatusIcon::activationTokenGiven, this,
            [this](const QString& token) { activationToken_ = onWayland() ? token : QString(); });
    connect(tray_.get(), &StatusIcon::activated, this, &NimbrookApp::togglePanel);
    tray_->show(trayIcon(), QStringLiteral("Nimbrook"), menu_.get());
    qCInfo(lcApp, "tray icon set");
    // The icon is where the panel was: the window goes, the program stays.
    if (window_) {
        window_->hide();
        window_.reset();
        qCInfo(lcApp, "panel window closed: the tray icon took its place");
    }
    // Let the tray map the icon before reporting where it is.
    QTimer::singleShot(100, this, [this] {
        if (!tray_)
            return;
        const QRect geometry = tray_->geometry();
        qCInfo(lcApp, "tray shown, icon geometry %d,%d %dx%d", geometry.x(), geometry.y(),
               geometry.width(), geometry.height());
    });
}

void NimbrookApp::hidePanel() {
    if (panel_ && panel_->isVisible())
        panel_->hide();
}

void NimbrookApp::togglePanel(const QPoint& at) {
    if (panel_ && panel_->isVisible()) {
        panel_->hide();
        activationToken_.clear();
        return;
    }
    showPanel(at);
}

void NimbrookApp::showPanel(const QPoint& at) {
    if (window_) {
        window_->show();
        window_->raise();
        activateWith(window_.get(), activationToken_);
        return;
    }
    if (!panel_)
        panel_ = std::make_unique<PanelPopup>();
    // The content may have been in the window, and gone with it.
    if (content().parentWidget() != panel_.get())
        panel_->layout()->addWidget(&content());
    panel_->activationToken = std::exchange(activationToken_, QString());
    if (!panel_->placesItself()) {
        // The compositor places it; all we can do is show it.
        panel_->showAt(QRect());
        return;
    }
    if (onWayland()) {
        // Where the host says the click was; nothing else there is known
        // (the pointer is ours only over our own windows).
        panel_->showAt(at.isNull() ? QRect() : QRect(at, QSize(1, 1)));
        return;
    }
    // Where the host says the click was; else by the icon; else at the pointer.
    QRect anchor = at.isNull() ? QRect() : QRect(at, QSize(1, 1));
    if (anchor.isEmpty() && tray_)
        anchor = tray_->geometry();
    if (anchor.isEmpty())
        anchor = QRect(QCursor::pos(), QSize(1, 1));
    panel_->showAt(anchor);
}

void NimbrookApp::showInWindow() {
    tray_.reset();
    if (panel_)
        panel_->hide();
    if (window_)
        return;
    window_ = std::make_unique<FallbackWindow>([this] { content().quit(); });
    window_->layout()->addWidget(&content());
    window_->show();
    qCInfo(lcApp, "panel shown in a window");
}

} // namespace nimbrook

#include "app/NimbrookApp.h"

#include "app/AppcastUpdater.h"
#include "app/DesktopPlatform.h"
#include "app/NimbrookUpdater.h"
#include "app/OnlineNotifier.h"
#include "discovery/Discovery.h"
#include "platform/linux/DesktopTrayHost.h"
#include "platform/linux/FreedesktopNotifications.h"
#include "ui/MenuContent.h"
#include "ui/Style.h"
#include "ui/TrayIcon.h"
#include "ui/TrayMenu.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdio>

namespace nimbrook {

// The info lines of this category ("tray icon set", "tray shown, icon geometry
// X,Y WxH", "panel shown at X,Y WxH", "panel hidden", "panel shown in a
// window", "panel window closed") are read by the end-to-end tests and the
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

// The panel: a frameless popup that closes when the user clicks elsewhere.
// Wayland has no popup without a parent window and lets no program place its
// own windows: there it is a frameless window of fixed size (which tiling
// compositors float), placed by the compositor, that closes when it loses the
// focus or on Escape.
class Panel final : public QWidget {
public:
    Panel()
        : QWidget(nullptr, onWayland() ? Qt::Window | Qt::FramelessWindowHint
                                       : Qt::Popup | Qt::FramelessWindowHint) {
        setAttribute(Qt::WA_DeleteOnClose, false);
        setWindowTitle(QStringLiteral("Nimbrook"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }

    // Under the anchor when there is room, else above it; always on screen.
    void showAt(const QRect& anchor) {
        anchor_ = anchor;
        adjustSize();
        place();
        show();
        raise();
        activateWindow();
        setFocus(Qt::PopupFocusReason);
        qCInfo(lcApp, "panel shown at %d,%d %dx%d", x(), y(), width(), height());
    }

protected:
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
        if (isVisible())
            place();
    }

    void hideEvent(QHideEvent* event) override {
        QWidget::hideEvent(event);
        qCInfo(lcApp, "panel hidden");
    }

private:
    void place() {
        if (anchor_.isNull())
            return; // the compositor's choice
        const QRect anchor = anchor_;
        const QScreen* screen = QGuiApplication::screenAt(anchor.center());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
        QPoint position(anchor.center().x() - width() / 2, anchor.bottom() + 1);
        if (position.y() + height() > available.bottom())
            position.setY(anchor.top() - height() - 1);
        position.setX(qBound(available.left(), position.x(), available.right() - width()));
        position.setY(qBound(available.top(), position.y(), available.bottom() - height()));
        move(position);
    }

    QRect anchor_;
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

void showAlert(const QString& message, const QString& informative) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Nimbrook"), message, QMessageBox::Ok);
    box.setInformativeText(informative);
    box.exec();
}

} // namespace

NimbrookApp::NimbrookApp(DesktopPlatform& platform)
    : platform_(platform) {
}

NimbrookApp::~NimbrookApp() {
    // The panel, the menu and the notifier refer to the Discovery: they go first.
    onlineNotifier_.reset();
    tray_.reset();
    menu_.reset();
    panel_.reset();
}

Discovery& NimbrookApp::discovery() {
    if (!discovery_)
        discovery_ = std::make_unique<Discovery>(platform_.discoveryPlatform());
    return *discovery_;
}

NimbrookUpdater& NimbrookApp::updater() {
    if (!updater_) {
        notifier_ = std::make_unique<DialogUpdateNotifier>();
        updater_ = std::make_unique<NimbrookUpdater>(
            NimbrookUpdater::buildInformation(), QProcessEnvironment::systemEnvironment(),
            [this](const QUrl& feed, bool start) {
                return std::make_unique<AppcastUpdater>(
                    feed, QCoreApplication::applicationVersion(), start, *notifier_);
            },
            &showAlert);
    }
    return *updater_;
}

MenuContent& NimbrookApp::content() {
    if (!content_) {
        // The updater is read before the discovery, as the scene builds them.
        NimbrookUpdater& updates = updater();
        content_ = new MenuContent(
            discovery(), [&updates] { updates.checkForUpdates(); },
            [] { QCoreApplication::quit(); });
        connect(content_, &MenuContent::shown, this, [this] { discovery().start(); });
        connect(content_, &MenuContent::choosing, this, &NimbrookApp::hidePanel);
        connect(content_, &MenuContent::closeRequested, this, &NimbrookApp::hidePanel);
    }
    return *content_;
}

void NimbrookApp::launch() {
    notifications_ = std::make_unique<FreedesktopNotifications>();
    onlineNotifier_ = std::make_unique<OnlineNotifier>(discovery(), *notifications_,
                                                       platform_.discoveryPlatform().scheduler,
                                                       [this](const RemoteMac& mac) {
                                                           hidePanel();
                                                           discovery().connect(mac);
                                                       });
    // Machines to announce: discovery runs from the start, not from the
    // first showing of the panel.
    if (!discovery().preferences().notifyWhenOnline().isEmpty())
        discovery().start();

    trayHost_ = std::make_unique<DesktopTrayHost>();
    // A panel that starts after us, or restarts, gets the icon (again).
    connect(trayHost_.get(), &TrayHost::appeared, this, &NimbrookApp::showTrayIcon);
    if (trayHost_->isPresent()) {
        showTrayIcon();
        return;
    }
    QTimer::singleShot(trayGracePeriod, this, [this] {
        if (tray_)
            return;
        std::fputs("nimbrook: no system tray found (on GNOME, install the AppIndicator "
                   "extension); showing the panel in a window instead\n",
                   stderr);
        showInWindow();
    });
}

void NimbrookApp::showTrayIcon() {
    // Made only once a host is there: Qt chooses between a StatusNotifierItem
    // and an XEmbed icon when the first icon is made, for good. A new host
    // knows nothing of the icon shown to the one before: make it anew.
    tray_.reset();
    tray_ = std::make_unique<QSystemTrayIcon>();
    tray_->setIcon(trayIcon());
    tray_->setToolTip(QStringLiteral("Nimbrook"));
    if (!menu_) {
        NimbrookUpdater& updates = updater();
        menu_ = std::make_unique<TrayMenu>(
            discovery(), [&updates] { updates.checkForUpdates(); },
            [] { QCoreApplication::quit(); });
        connect(menu_.get(), &TrayMenu::choosing, this, &NimbrookApp::hidePanel);
    }
    tray_->setContextMenu(menu_.get());
    connect(tray_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    togglePanel();
            });
    tray_->show();
    qCInfo(lcApp, "tray icon set");
    // The icon is where the panel was: the window goes, the program stays.
    if (panel_ && dynamic_cast<FallbackWindow*>(panel_.get())) {
        panel_->hide();
        panel_.reset();
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
    if (panel_ && !dynamic_cast<FallbackWindow*>(panel_.get()) && panel_->isVisible())
        panel_->hide();
}

void NimbrookApp::togglePanel() {
    if (panel_ && panel_->isVisible()) {
        panel_->hide();
        return;
    }
    if (!panel_) {
        panel_ = std::make_unique<Panel>();
        panel_->layout()->addWidget(&content());
    }
    if (onWayland()) {
        // The compositor places it; all we can do is show it.
        static_cast<Panel*>(panel_.get())->showAt(QRect());
        return;
    }
    QRect anchor = tray_ ? tray_->geometry() : QRect();
    if (anchor.isEmpty())
        anchor = QRect(QCursor::pos(), QSize(1, 1));
    static_cast<Panel*>(panel_.get())->showAt(anchor);
}

void NimbrookApp::showInWindow() {
    tray_.reset();
    auto window = std::make_unique<FallbackWindow>([this] { content().quit(); });
    window->layout()->addWidget(&content());
    window->show();
    qCInfo(lcApp, "panel shown in a window");
    panel_ = std::move(window);
}

} // namespace nimbrook

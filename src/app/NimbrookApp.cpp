#include "app/NimbrookApp.h"

#include "app/AppcastUpdater.h"
#include "app/DesktopPlatform.h"
#include "app/NimbrookUpdater.h"
#include "discovery/Discovery.h"
#include "ui/MenuContent.h"
#include "ui/Style.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QCursor>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdio>

namespace nimbrook {

Q_LOGGING_CATEGORY(lcApp, "nimbrook.app", QtWarningMsg)

namespace {

// How long a tray may take to appear after start-up (a panel that starts with
// the session can be slower than us).
constexpr int trayChecks = 12;
constexpr auto trayCheckInterval = std::chrono::milliseconds(250);

// The panel: a frameless popup that closes when the user clicks elsewhere.
class Panel final : public QWidget {
public:
    explicit Panel(std::function<void()> onClose)
        : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint)
        , onClose_(std::move(onClose)) {
        setAttribute(Qt::WA_DeleteOnClose, false);
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
    // The list grows and shrinks while the panel is open: keep it by the icon.
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (isVisible())
            place();
    }

    void hideEvent(QHideEvent* event) override {
        QWidget::hideEvent(event);
        qCInfo(lcApp, "panel hidden");
        if (onClose_)
            onClose_();
    }

private:
    void place() {
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
    std::function<void()> onClose_;
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
    // The panel refers to the Discovery: it goes first.
    tray_.reset();
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
    }
    return *content_;
}

void NimbrookApp::launch() {
    tray_ = std::make_unique<QSystemTrayIcon>();
    const QColor iconColor = QApplication::palette().color(QPalette::WindowText);
    // Drawn in the palette's text colour rather than taken from the icon theme,
    // whose artwork is black and would vanish on a dark panel.
    tray_->setIcon(style::icon(QStringLiteral("nimbrook"), iconColor, 22));
    tray_->setToolTip(QStringLiteral("Nimbrook"));
    connect(tray_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    togglePanel();
            });
    waitForTray(trayChecks);
}

void NimbrookApp::waitForTray(int attemptsLeft) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_->show();
        qCInfo(lcApp, "tray icon set");
        // Let the tray map the icon before reporting where it is.
        QTimer::singleShot(100, this, [this] {
            const QRect geometry = tray_->geometry();
            qCInfo(lcApp, "tray shown, icon geometry %d,%d %dx%d", geometry.x(), geometry.y(),
                   geometry.width(), geometry.height());
        });
        return;
    }
    if (attemptsLeft > 0) {
        QTimer::singleShot(trayCheckInterval, this,
                           [this, attemptsLeft] { waitForTray(attemptsLeft - 1); });
        return;
    }
    std::fputs("nimbrook: no system tray found (on GNOME, install the AppIndicator extension); "
               "showing the panel in a window instead\n",
               stderr);
    showInWindow();
}

void NimbrookApp::togglePanel() {
    if (panel_ && panel_->isVisible()) {
        panel_->hide();
        return;
    }
    if (!panel_) {
        panel_ = std::make_unique<Panel>(nullptr);
        panel_->layout()->addWidget(&content());
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

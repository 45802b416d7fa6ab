#include "platform/linux/DesktopTrayHost.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <xcb/xcb.h>

#include <cstdlib>

namespace nimbrook {

Q_LOGGING_CATEGORY(lcTrayHost, "nimbrook.trayhost", QtWarningMsg)

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");

} // namespace

DesktopTrayHost::DesktopTrayHost(QObject* parent)
    : TrayHost(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        watcher_ = new QDBusServiceWatcher(watcherService, bus,
                                           QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& owner) {
                    qCInfo(lcTrayHost, "StatusNotifierWatcher %s",
                           owner.isEmpty() ? "gone" : "appeared");
                    // A new watcher knows nothing of the items of the old one.
                    const bool had = present_ != Kind::none;
                    present_ = Kind::none;
                    recheck();
                    if (had && present_ == Kind::none)
                        emit disappeared();
                });
        // A watcher may be there before its host: the host registers later.
        bus.connect(watcherService, watcherPath, watcherService,
                    QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(recheck()));
        bus.connect(watcherService, watcherPath, watcherService,
                    QStringLiteral("StatusNotifierHostUnregistered"), this, SLOT(recheck()));
    }
    if (QGuiApplication::platformName() == QLatin1StringView("xcb")) {
        xembedCheck_.setInterval(1000);
        connect(&xembedCheck_, &QTimer::timeout, this, &DesktopTrayHost::recheck);
    }
    present_ = look();
    if (present_ != Kind::statusNotifier && xembedCheck_.interval() > 0)
        xembedCheck_.start();
}

DesktopTrayHost::~DesktopTrayHost() = default;

TrayHost::Kind DesktopTrayHost::present() const {
    return present_;
}

TrayHost::Kind DesktopTrayHost::look() const {
    if (statusNotifierHostPresent())
        return Kind::statusNotifier;
    return xembedTrayPresent() ? Kind::xembed : Kind::none;
}

bool DesktopTrayHost::statusNotifierHostPresent() const {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcherService))
        return false;
    QDBusInterface watcher(watcherService, watcherPath, watcherService, bus);
    watcher.setTimeout(1000);
    return watcher.property("IsStatusNotifierHostRegistered").toBool();
}

bool DesktopTrayHost::xembedTrayPresent() const {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    // ":0.1" is screen 1 of display 0; the tray of each screen has its own name.
    int screen = 0;
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype colon = display.lastIndexOf(':');
    const qsizetype dot = display.lastIndexOf('.');
    if (colon >= 0 && dot > colon)
        screen = display.mid(dot + 1).toInt();
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, uint16_t(name.size()), name.constData()),
        nullptr);
    if (!atom)
        return false;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = owner && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
}

void DesktopTrayHost::recheck() {
    const Kind before = present_;
    present_ = look();
    if (xembedCheck_.interval() > 0) {
        if (present_ == Kind::statusNotifier)
            xembedCheck_.stop();
        else if (!xembedCheck_.isActive())
            xembedCheck_.start();
    }
    if (present_ != Kind::none && present_ != before) {
        qCInfo(lcTrayHost, "a tray host is there");
        emit appeared();
    } else if (present_ == Kind::none && before != Kind::none) {
        qCInfo(lcTrayHost, "the tray host is gone");
        emit disappeared();
    }
}

} // namespace nimbrook

#include "platform/linux/DesktopTrayHost.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <xcb/xcb.h>

#include <cstdlib>

namespace nimbrook {

Q_LOGGING_CATEGORY(lcTrayHost, "nimbrook.trayhost", QtWarningMsg)

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
// A watcher that takes longer than this counts as none.
constexpr int watcherTimeoutMs = 1000;

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
                    watcherHasHost_ = false;
                    watcherKnown_ = false;
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
    // A watcher nearly always has its host: the item is offered at once, as a
    // panel expects at start, and the watcher's answer (never waited for)
    // takes it back if not. A question out means a watcher is there.
    askWatcher();
    watcherHasHost_ = asking_;
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
    // A panel offering both kinds takes the item: nothing until the watcher
    // has said whether it has a host, or the icon would be made twice.
    if (!watcherKnown_ && asking_)
        return Kind::none;
    return xembedTrayPresent() ? Kind::xembed : Kind::none;
}

bool DesktopTrayHost::statusNotifierHostPresent() const {
    return watcherHasHost_;
}

void DesktopTrayHost::askWatcher() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    if (!bus.interface()->isServiceRegistered(watcherService)) {
        // No watcher (the bus itself says so at once): no host of that kind.
        watcherHasHost_ = false;
        watcherKnown_ = true;
        return;
    }
    // One question at a time: a watcher that does not answer is asked again
    // only after the timeout, however often it signals.
    if (asking_) {
        askAgain_ = true;
        return;
    }
    asking_ = true;
    askAgain_ = false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        watcherService, watcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(get, watcherTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                asking_ = false;
                watcherKnown_ = true;
                const QDBusMessage reply = done->reply();
                bool hasHost = false;
                if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                    const QVariant value = reply.arguments().constFirst();
                    hasHost = value.userType() == qMetaTypeId<QDBusVariant>()
                                  ? value.value<QDBusVariant>().variant().toBool()
                                  : value.toBool();
                } else if (reply.type() == QDBusMessage::ErrorMessage &&
                           reply.errorName() !=
                               QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown")) {
                    qCInfo(lcTrayHost, "the StatusNotifierWatcher did not answer: %s",
                           qPrintable(reply.errorMessage()));
                }
                watcherHasHost_ = hasHost;
                if (askAgain_)
                    askWatcher();
                update();
            });
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
    askWatcher();
    update();
}

void DesktopTrayHost::update() {
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

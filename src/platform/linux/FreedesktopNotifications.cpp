#include "platform/linux/FreedesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QLoggingCategory>
#include <QVariantMap>

namespace nimbrook {

Q_LOGGING_CATEGORY(lcNotify, "nimbrook.notify", QtWarningMsg)

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
// A server that takes longer has shown nothing we could act on.
constexpr int callTimeoutMs = 1000;

} // namespace

FreedesktopNotifications::FreedesktopNotifications(QObject* parent)
    : Notifications(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(service, path, service, QStringLiteral("ActionInvoked"), this,
                SLOT(onActionInvoked(uint, QString)));
    bus.connect(service, path, service, QStringLiteral("NotificationClosed"), this,
                SLOT(onClosed(uint, uint)));
    // Ids are the server's: another server (or a program that took the name)
    // may hand out the same numbers for its own.
    auto* owner =
        new QDBusServiceWatcher(service, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(owner, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] { tags_.clear(); });
}

void FreedesktopNotifications::show(const QString& summary, const QString& body,
                                    const QString& actionLabel, const QString& tag) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    const QString appId = QStringLiteral("io.github.nimbrook.nimbrook");
    const QVariantMap hints{{QStringLiteral("desktop-entry"), appId}};
    call << QStringLiteral("Nimbrook") << uint(0) << appId << summary << body
         << (actionLabel.isEmpty() ? QStringList()
                                   : QStringList{QStringLiteral("default"), actionLabel})
         << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, tag](QDBusPendingCallWatcher* finished) {
                const QDBusPendingReply<uint> reply = *finished;
                finished->deleteLater();
                if (reply.isError()) {
                    qCDebug(lcNotify) << "no notification:" << reply.error().message();
                    return;
                }
                tags_.insert(reply.value(), tag);
            });
}

void FreedesktopNotifications::onActionInvoked(uint id, const QString& action) {
    if (action != QLatin1StringView("default") || !tags_.contains(id))
        return;
    // One notification, one action: a repeated signal does nothing more.
    emit actionInvoked(tags_.take(id));
}

void FreedesktopNotifications::onClosed(uint id, uint) {
    tags_.remove(id);
}

} // namespace nimbrook

#include "platform/linux/PortalAppearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace nimbrook {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

// The portal wraps the value in one variant more than it says.
uint unwrap(QVariant value) {
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value.toUInt();
}

} // namespace

PortalAppearance::PortalAppearance(QObject* parent)
    : Appearance(parent) {
    // A portal (or whatever owns its name) may send changes by the thousand:
    // they are applied at most every applyInterval, the latest winning.
    apply_.setSingleShot(true);
    apply_.setInterval(applyInterval);
    connect(&apply_, &QTimer::timeout, this, [this] { set(received_); });
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // The whole message: Qt D-Bus 6.4 refuses to connect a slot typed
    // (QString, QString, QDBusVariant) to this signal.
    bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"),
                this, SLOT(settingChanged(QDBusMessage)));
    QDBusMessage read = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface,
                                                       QStringLiteral("Read"));
    read << appearanceGroup << colorSchemeKey;
    // Not waited for: the icon must not wait for the portal.
    auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(read, 1000), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                const QDBusMessage reply = done->reply();
                if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
                    return;
                received_ = fromPortalValue(unwrap(reply.arguments().constFirst()));
                if (!apply_.isActive())
                    set(received_);
            });
}

void PortalAppearance::set(ColorScheme scheme) {
    if (scheme == scheme_)
        return;
    scheme_ = scheme;
    // The next change waits its turn.
    apply_.start();
    emit colorSchemeChanged(scheme);
}

Appearance::ColorScheme PortalAppearance::fromPortalValue(uint value) {
    switch (value) {
    case 1:
        return ColorScheme::dark;
    case 2:
        return ColorScheme::light;
    default:
        return ColorScheme::noPreference;
    }
}

void PortalAppearance::settingChanged(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() != 3 || arguments[0].toString() != appearanceGroup ||
        arguments[1].toString() != colorSchemeKey)
        return;
    received_ = fromPortalValue(unwrap(arguments[2]));
    if (!apply_.isActive())
        set(received_);
}

} // namespace nimbrook

#include "platform/linux/PortalAppearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>

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
    // Before the first window: a panel that opens light and turns dark would
    // flash. The portal answers at once or is not there.
    const QDBusMessage reply = bus.call(read, QDBus::Block, 1000);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
        scheme_ = fromPortalValue(unwrap(reply.arguments().constFirst()));
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
    const ColorScheme now = fromPortalValue(unwrap(arguments[2]));
    if (now == scheme_)
        return;
    scheme_ = now;
    emit colorSchemeChanged(now);
}

} // namespace nimbrook

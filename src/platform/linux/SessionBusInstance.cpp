#include "platform/linux/SessionBusInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QLoggingCategory>
#include <QVariantMap>

#include <algorithm>

namespace nimbrook {

Q_LOGGING_CATEGORY(lcInstance, "nimbrook.instance", QtWarningMsg)

namespace {

const QString applicationInterface = QStringLiteral("org.freedesktop.Application");

QString tokenIn(const QVariantMap& platformData) {
    QString token = platformData.value(QStringLiteral("activation-token")).toString();
    if (token.isEmpty())
        token = platformData.value(QStringLiteral("desktop-startup-id")).toString();
    if (SessionBusInstance::isPlausibleToken(token))
        return token;
    if (!token.isEmpty())
        qCWarning(lcInstance, "activation token refused (%lld characters)",
                  static_cast<long long>(token.size()));
    return {};
}

} // namespace

bool SessionBusInstance::isPlausibleToken(const QString& token) {
    // Compositors and launchers make short printable ASCII ones (a number, a
    // UUID, "gnome-shell/Files/2419-1-host_TIME31337"); any program on the
    // bus can send anything.
    if (token.isEmpty() || token.size() > maxTokenLength)
        return false;
    return std::all_of(token.cbegin(), token.cend(),
                       [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7F; });
}

// What the bus sees at the application's path.
class SessionBusInstance::Object final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit Object(SessionBusInstance& instance)
        : instance_(instance) {}

public slots:
    void Activate(const QVariantMap& platformData) {
        emit instance_.activationRequested(tokenIn(platformData));
    }
    void Open(const QStringList&, const QVariantMap& platformData) {
        emit instance_.activationRequested(tokenIn(platformData));
    }
    void ActivateAction(const QString&, const QVariantList&, const QVariantMap& platformData) {
        emit instance_.activationRequested(tokenIn(platformData));
    }

private:
    SessionBusInstance& instance_;
};

SessionBusInstance::SessionBusInstance(QString name, QObject* parent)
    : AppInstance(parent)
    , name_(std::move(name))
    , path_(u'/' + QString(name_).replace(u'.', u'/'))
    , object_(std::make_unique<Object>(*this)) {
}

SessionBusInstance::~SessionBusInstance() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        bus.unregisterObject(path_);
        bus.unregisterService(name_);
    }
}

bool SessionBusInstance::claim() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCInfo(lcInstance, "no session bus: not looking for another instance");
        return true;
    }
    // The object first: a second start may call it the moment the name is ours.
    bus.registerObject(path_, object_.get(), QDBusConnection::ExportAllSlots);
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(name_, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return true;
    bus.unregisterObject(path_);
    if (!reply.isValid()) {
        qCWarning(lcInstance, "could not ask for %s: %s", qPrintable(name_),
                  qPrintable(reply.error().message()));
        return true;
    }
    QDBusMessage activate = QDBusMessage::createMethodCall(name_, path_, applicationInterface,
                                                           QStringLiteral("Activate"));
    // The launcher's permission to take the focus, handed on to the one
    // that will show the panel: without it GNOME leaves the panel unfocused.
    QVariantMap platformData;
    const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    const QString startupId = qEnvironmentVariable("DESKTOP_STARTUP_ID");
    if (!token.isEmpty() || !startupId.isEmpty()) {
        platformData.insert(QStringLiteral("activation-token"),
                            token.isEmpty() ? startupId : token);
        platformData.insert(QStringLiteral("desktop-startup-id"),
                            startupId.isEmpty() ? token : startupId);
    }
    activate << platformData;
    const QDBusMessage answer = bus.call(activate, QDBus::Block, 5000);
    if (answer.type() == QDBusMessage::ErrorMessage) {
        qCWarning(lcInstance, "the running instance did not answer: %s",
                  qPrintable(answer.errorMessage()));
    }
    return false;
}

} // namespace nimbrook

#include "SessionBusInstance.moc"

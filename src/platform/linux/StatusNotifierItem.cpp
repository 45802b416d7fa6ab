#include "platform/linux/StatusNotifierItem.h"

#include "platform/linux/DBusMenuExporter.h"
#include "platform/linux/SessionBusInstance.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QGuiApplication>
#include <QImage>
#include <QLoggingCategory>
#include <QMenu>
#include <QTimer>
#include <QtEndian>

#include <algorithm>

namespace nimbrook {

Q_DECLARE_LOGGING_CATEGORY(lcTrayHost)

namespace sni {

QDBusArgument& operator<<(QDBusArgument& argument, const Pixmap& pixmap) {
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.bytes;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Pixmap& pixmap) {
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.bytes;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const ToolTip& toolTip) {
    argument.beginStructure();
    argument << toolTip.iconName << toolTip.pixmaps << toolTip.title << toolTip.text;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ToolTip& toolTip) {
    argument.beginStructure();
    argument >> toolTip.iconName >> toolTip.pixmaps >> toolTip.title >> toolTip.text;
    argument.endStructure();
    return argument;
}

PixmapList pixmapsOf(const QIcon& icon) {
    PixmapList pixmaps;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        const QImage image = icon.pixmap(QSize(size, size))
                                 .toImage()
                                 .scaled(size, size)
                                 .convertToFormat(QImage::Format_ARGB32);
        Pixmap pixmap{size, size, QByteArray(size * size * 4, Qt::Uninitialized)};
        auto* out = reinterpret_cast<quint32*>(pixmap.bytes.data());
        for (int y = 0; y < size; ++y) {
            const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < size; ++x)
                *out++ = qToBigEndian(line[x]);
        }
        pixmaps.append(pixmap);
    }
    return pixmaps;
}

} // namespace sni

namespace {

// A host's point, within any screen there is: any program on the bus may
// send INT_MIN, and the placement adds and subtracts sizes to it.
QPoint clamped(int x, int y) {
    constexpr int limit = 1 << 20;
    return QPoint(std::clamp(x, -limit, limit), std::clamp(y, -limit, limit));
}

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString itemPath = QStringLiteral("/StatusNotifierItem");

} // namespace

// What the bus sees at /StatusNotifierItem.
class StatusNotifierItem::Object final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ iconThemePath)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(nimbrook::sni::PixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ empty)
    Q_PROPERTY(nimbrook::sni::PixmapList OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ empty)
    Q_PROPERTY(nimbrook::sni::PixmapList AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ empty)
    Q_PROPERTY(nimbrook::sni::ToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)

public:
    explicit Object(StatusNotifierItem& item)
        : item_(item) {}

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QCoreApplication::applicationName(); }
    QString title() const { return title_; }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString iconThemePath() const { return {}; }
    QString iconName() const { return iconName_; }
    sni::PixmapList iconPixmap() const { return pixmaps_; }
    QString empty() const { return {}; }
    sni::PixmapList noPixmaps() const { return {}; }
    sni::ToolTip toolTip() const { return {iconName_, {}, title_, QString()}; }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const {
        return QDBusObjectPath(menu_ ? DBusMenuExporter::objectPath
                                     : QStringLiteral("/NO_DBUSMENU"));
    }

    void set(const QIcon& icon, const QString& title, QMenu* menu) {
        // A name is given only for an icon the theme has: hosts prefer a name
        // to the pixels, and GNOME's AppIndicator extension shows a name it
        // cannot find as a placeholder instead of falling back to them.
        iconName_ = QIcon::hasThemeIcon(icon.name()) ? icon.name() : QString();
        pixmaps_ = sni::pixmapsOf(icon);
        title_ = title;
        menu_ = menu;
        emit NewIcon();
        emit NewTitle();
        emit NewToolTip();
    }

public slots:
    void Activate(int x, int y) {
        emit item_.activated(x == 0 && y == 0 ? QPoint() : clamped(x, y));
    }
    void SecondaryActivate(int x, int y) { Activate(x, y); }
    // Plasma's extension: the activation token of the click that follows
    // (any program on the bus may call it; what no compositor makes is
    // dropped before it reaches the Wayland connection).
    void ProvideXdgActivationToken(const QString& token) {
        if (SessionBusInstance::isPlausibleToken(token))
            emit item_.activationTokenGiven(token);
    }
    // For hosts that leave the menu to the item: only X11 lets us place it.
    void ContextMenu(int x, int y) {
        if (menu_ && QGuiApplication::platformName() == QLatin1StringView("xcb"))
            menu_->popup(clamped(x, y));
    }
    void Scroll(int, const QString&) {}

signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

private:
    StatusNotifierItem& item_;
    QString iconName_;
    sni::PixmapList pixmaps_;
    QString title_;
    QPointer<QMenu> menu_;
};

StatusNotifierItem::StatusNotifierItem(QObject* parent)
    : StatusIcon(parent)
    , object_(std::make_unique<Object>(*this)) {
    qDBusRegisterMetaType<sni::Pixmap>();
    qDBusRegisterMetaType<sni::PixmapList>();
    qDBusRegisterMetaType<sni::ToolTip>();
}

StatusNotifierItem::~StatusNotifierItem() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!serviceName_.isEmpty()) {
        bus.unregisterObject(itemPath);
        bus.unregisterObject(DBusMenuExporter::objectPath);
        bus.unregisterService(serviceName_);
    }
}

void StatusNotifierItem::show(const QIcon& icon, const QString& title, QMenu* menu) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!menu_ && menu) {
        menu_ = std::make_unique<DBusMenuExporter>(menu);
        bus.registerObject(DBusMenuExporter::objectPath, menu_.get(),
                           QDBusConnection::ExportAllContents);
    }
    object_->set(icon, title, menu);
    if (!serviceName_.isEmpty())
        return;
    // The name the protocol asks for: the process and its one item.
    serviceName_ =
        QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid());
    if (!bus.registerService(serviceName_))
        qCWarning(lcTrayHost, "could not take the bus name %s", qPrintable(serviceName_));
    bus.registerObject(itemPath, object_.get(),
                       QDBusConnection::ExportAllProperties | QDBusConnection::ExportAllSlots |
                           QDBusConnection::ExportAllSignals);
    registerWithWatcher();
}

void StatusNotifierItem::registerWithWatcher(int triesLeft) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        watcherService, watcherPath, watcherService, QStringLiteral("RegisterStatusNotifierItem"));
    call << serviceName_;
    auto* pending =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, 1000), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, triesLeft](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                if (!done->isError())
                    return;
                qCWarning(lcTrayHost, "the StatusNotifierWatcher did not take the item: %s",
                          qPrintable(done->error().message()));
                // A busy watcher may answer late, or not at all: ask again,
                // a few times, without waiting in between.
                if (triesLeft > 0)
                    QTimer::singleShot(1000, this,
                                       [this, triesLeft] { registerWithWatcher(triesLeft - 1); });
            });
}

} // namespace nimbrook

#include "StatusNotifierItem.moc"

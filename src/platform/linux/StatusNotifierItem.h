#pragma once

#include "platform/StatusIcon.h"

#include <QDBusArgument>
#include <QIcon>
#include <QPointer>

#include <memory>

class QMenu;

namespace nimbrook {

class DBusMenuExporter;

namespace sni {

// (iiay): one size of the icon, ARGB32 in network byte order.
struct Pixmap {
    int width = 0;
    int height = 0;
    QByteArray bytes;
};
using PixmapList = QList<Pixmap>;

// (sa(iiay)ss): the tooltip's icon name, icon, title and text.
struct ToolTip {
    QString iconName;
    PixmapList pixmaps;
    QString title;
    QString text;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Pixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, Pixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const ToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, ToolTip& toolTip);

// The sizes a host gets to choose from, drawn from `icon`.
PixmapList pixmapsOf(const QIcon& icon);

} // namespace sni

// A StatusNotifierItem of our own on the session bus, registered with the
// StatusNotifierWatcher, its menu published beside it. Unlike Qt's, it hands
// on the place a host gives with Activate(x, y), and its menu's entries keep
// their ids (see DBusMenuExporter).
class StatusNotifierItem final : public StatusIcon {
    Q_OBJECT

public:
    explicit StatusNotifierItem(QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    void show(const QIcon& icon, const QString& title, QMenu* menu) override;
    QRect geometry() const override { return {}; }

    // The item's bus name, once shown.
    QString serviceName() const { return serviceName_; }

private:
    class Object;
    // Registers the item, asking again up to `triesLeft` times when the
    // watcher does not answer in time.
    void registerWithWatcher(int triesLeft = 4);

    std::unique_ptr<Object> object_;
    std::unique_ptr<DBusMenuExporter> menu_;
    QString serviceName_;
};

} // namespace nimbrook

Q_DECLARE_METATYPE(nimbrook::sni::Pixmap)
Q_DECLARE_METATYPE(nimbrook::sni::ToolTip)

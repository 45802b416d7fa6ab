#pragma once

#include "platform/linux/DBusMenuTypes.h"

#include <QDBusContext>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>

class QAction;
class QIcon;
class QMenu;

namespace nimbrook {

// A QMenu published over D-Bus as com.canonical.dbusmenu, for tray hosts that
// draw the menu themselves (GNOME's AppIndicator extension, Plasma, waybar,
// xfce4-panel). An action keeps its id for as long as it lives; the layout's
// revision goes up only when entries are added, removed or moved, and a
// changed action sends its own changed properties. So a host that keeps a
// menu open sees only what really changed, and a click on an entry reaches it
// however the list changed in the meantime. Main thread.
class DBusMenuExporter final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    static inline const QString objectPath = QStringLiteral("/MenuBar");

    // `menu` stays the caller's and must outlive the exporter.
    explicit DBusMenuExporter(QMenu* menu, QObject* parent = nullptr);
    ~DBusMenuExporter() override;

    uint version() const { return 3; }
    QString textDirection() const;
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

    uint revision() const { return revision_; }
    // The id of `action`, or -1 when it is not in the menu.
    int idOf(QAction* action) const { return ids_.value(action, -1); }

    // The properties a host reads for `action`, defaults left out.
    QVariantMap properties(const QAction* action) const;

public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   nimbrook::dbusmenu::LayoutItem& layout);
    nimbrook::dbusmenu::ItemList GetGroupProperties(const QList<int>& ids,
                                                    const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const nimbrook::dbusmenu::EventList& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

signals:
    void ItemsPropertiesUpdated(const nimbrook::dbusmenu::ItemList& updatedProps,
                                const nimbrook::dbusmenu::ItemKeysList& removedProps);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Gives `menu` and its submenus' actions ids, and watches them.
    void watch(QMenu* menu);
    int idFor(QAction* action);
    QMenu* menuOf(int id) const;
    dbusmenu::LayoutItem layoutOf(int id, QMenu* menu, int depth, const QSet<QString>& names);
    QVariantMap sentProperties(int id, QAction* action, const QSet<QString>& names);
    // Handles one event; false when `id` names no entry.
    bool handle(int id, const QString& eventId);
    void refuse(const QString& message);
    QByteArray pngOf(const QIcon& icon) const;
    void scheduleFlush();
    void flush();

    QPointer<QMenu> root_;
    QHash<QAction*, int> ids_;
    QHash<int, QPointer<QAction>> actions_;
    QSet<QMenu*> watched_;
    // The id of the entry that opens each submenu.
    QHash<QMenu*, int> menuIds_;
    int nextId_ = 1;
    uint revision_ = 1;
    // What each entry's host was last told, to send only what changed.
    QHash<int, QVariantMap> told_;
    QSet<int> changed_;
    mutable QHash<qint64, QByteArray> pngs_; // by the icon's cache key
    int layoutParent_ = -1;                  // the menu whose entries changed, 0 for several
    bool flushQueued_ = false;
    // Goes up with every change of an entry, or of which entries there are.
    quint64 state_ = 0;
    // Layouts made at `layoutsState_`, by parent, depth and property names.
    struct LayoutKey {
        int parent;
        int depth;
        QStringList names;
        bool operator==(const LayoutKey&) const = default;
    };
    friend size_t qHash(const LayoutKey& key, size_t seed) {
        return qHashMulti(seed, key.parent, key.depth, key.names);
    }
    QHash<LayoutKey, dbusmenu::LayoutItem> layouts_;
    quint64 layoutsState_ = 0;
};

} // namespace nimbrook

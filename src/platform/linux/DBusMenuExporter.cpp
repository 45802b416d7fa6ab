#include "platform/linux/DBusMenuExporter.h"

#include <QAction>
#include <QActionEvent>
#include <QBuffer>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>

#include <utility>

namespace nimbrook {

namespace {

// "&&" is an ampersand and "&x" marks x as the mnemonic; D-Bus menus mark it
// with "_" and write an underscore twice.
QString dbusLabel(const QString& text) {
    QString label;
    label.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'&') {
            if (i + 1 < text.size() && text[i + 1] == u'&') {
                label += u'&';
                ++i;
            } else {
                label += u'_';
            }
        } else if (c == u'_') {
            label += QStringLiteral("__");
        } else {
            label += c;
        }
    }
    return label;
}

dbusmenu::Shortcut shortcutKeys(const QKeySequence& sequence) {
    dbusmenu::Shortcut chords;
    for (int i = 0; i < sequence.count(); ++i) {
        const QKeyCombination combination = sequence[i];
        QStringList keys;
        const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
        if (modifiers & Qt::ControlModifier)
            keys << QStringLiteral("Control");
        if (modifiers & Qt::AltModifier)
            keys << QStringLiteral("Alt");
        if (modifiers & Qt::ShiftModifier)
            keys << QStringLiteral("Shift");
        if (modifiers & Qt::MetaModifier)
            keys << QStringLiteral("Super");
        keys << QKeySequence(combination.key()).toString(QKeySequence::PortableText);
        chords << keys;
    }
    return chords;
}

// The property names a host asked for, once each; empty for all of them.
QSet<QString> nameSet(const QStringList& names) {
    return QSet<QString>(names.cbegin(), names.cend());
}

} // namespace

DBusMenuExporter::DBusMenuExporter(QMenu* menu, QObject* parent)
    : QObject(parent)
    , root_(menu) {
    dbusmenu::registerTypes();
    watch(menu);
}

DBusMenuExporter::~DBusMenuExporter() {
    for (QMenu* menu : std::as_const(watched_))
        menu->removeEventFilter(this);
}

QString DBusMenuExporter::textDirection() const {
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                                 : QStringLiteral("ltr");
}

void DBusMenuExporter::watch(QMenu* menu) {
    if (!menu)
        return;
    if (!watched_.contains(menu)) {
        watched_.insert(menu);
        menu->installEventFilter(this);
        connect(menu, &QObject::destroyed, this, [this, menu] {
            watched_.remove(menu);
            menuIds_.remove(menu);
        });
    }
    for (QAction* action : menu->actions()) {
        const int id = idFor(action);
        if (QMenu* submenu = action->menu()) {
            menuIds_.insert(submenu, id);
            watch(submenu);
        }
    }
}

int DBusMenuExporter::idFor(QAction* action) {
    const auto found = ids_.constFind(action);
    if (found != ids_.cend())
        return *found;
    const int id = nextId_++;
    ids_.insert(action, id);
    actions_.insert(id, action);
    connect(action, &QObject::destroyed, this, [this, action, id] {
        ids_.remove(action);
        actions_.remove(id);
        told_.remove(id);
        changed_.remove(id);
    });
    return id;
}

QMenu* DBusMenuExporter::menuOf(int id) const {
    if (id == 0)
        return root_;
    const QPointer<QAction> action = actions_.value(id);
    return action ? action->menu() : nullptr;
}

QByteArray DBusMenuExporter::pngOf(const QIcon& icon) const {
    // Menus share a few icons (the online dots) among thousands of entries:
    // each is encoded once.
    if (const auto found = pngs_.constFind(icon.cacheKey()); found != pngs_.cend())
        return *found;
    if (pngs_.size() > 64)
        pngs_.clear();
    QByteArray& png = pngs_[icon.cacheKey()];
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    icon.pixmap(QSize(16, 16)).save(&buffer, "PNG");
    return png;
}

QVariantMap DBusMenuExporter::properties(const QAction* action) const {
    QVariantMap properties;
    if (!action->isVisible())
        properties.insert(QStringLiteral("visible"), false);
    if (action->isSeparator()) {
        properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
        return properties;
    }
    properties.insert(QStringLiteral("label"), dbusLabel(action->text()));
    if (!action->isEnabled())
        properties.insert(QStringLiteral("enabled"), false);
    if (action->isCheckable()) {
        properties.insert(QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
        properties.insert(QStringLiteral("toggle-state"), action->isChecked() ? 1 : 0);
    }
    if (action->menu())
        properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    if (!action->icon().isNull())
        properties.insert(QStringLiteral("icon-data"), pngOf(action->icon()));
    if (!action->shortcut().isEmpty())
        properties.insert(QStringLiteral("shortcut"),
                          QVariant::fromValue(shortcutKeys(action->shortcut())));
    return properties;
}

QVariantMap DBusMenuExporter::sentProperties(int id, QAction* action, const QSet<QString>& names) {
    QVariantMap all = properties(action);
    told_.insert(id, all);
    if (names.isEmpty())
        return all;
    // A host may ask for many names: the few an entry has are looked up.
    QVariantMap some;
    for (auto it = all.cbegin(); it != all.cend(); ++it) {
        if (names.contains(it.key()))
            some.insert(it.key(), it.value());
    }
    return some;
}

dbusmenu::LayoutItem DBusMenuExporter::layoutOf(int id, QMenu* menu, int depth,
                                                const QSet<QString>& names) {
    dbusmenu::LayoutItem item;
    item.id = id;
    if (id != 0) {
        if (QAction* action = actions_.value(id))
            item.properties = sentProperties(id, action, names);
    } else if (names.isEmpty() || names.contains(QStringLiteral("children-display"))) {
        item.properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    }
    if (!menu || depth == 0)
        return item;
    for (QAction* action : menu->actions()) {
        const int childId = idFor(action);
        item.children.append(layoutOf(childId, action->menu(), depth < 0 ? -1 : depth - 1, names));
    }
    return item;
}

uint DBusMenuExporter::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                 dbusmenu::LayoutItem& layout) {
    QMenu* menu = menuOf(parentId);
    if (parentId != 0 && !actions_.value(parentId)) {
        refuse(QStringLiteral("no menu entry with id %1").arg(parentId));
        return revision_;
    }
    // Hosts ask again and again for the same layout: it is made once for
    // each state of the menu (its revision and its entries' properties).
    QSet<QString> names = nameSet(propertyNames);
    QStringList sortedNames(names.cbegin(), names.cend());
    sortedNames.sort();
    const LayoutKey key{parentId, recursionDepth < 0 ? -1 : recursionDepth, sortedNames};
    if (layoutsState_ != state_) {
        layouts_.clear();
        layoutsState_ = state_;
    }
    if (const auto found = layouts_.constFind(key); found != layouts_.cend()) {
        layout = *found;
        return revision_;
    }
    layout = layoutOf(parentId, menu, recursionDepth, names);
    if (layouts_.size() >= 16)
        layouts_.clear();
    layouts_.insert(key, layout);
    return revision_;
}

dbusmenu::ItemList DBusMenuExporter::GetGroupProperties(const QList<int>& ids,
                                                        const QStringList& propertyNames) {
    dbusmenu::ItemList items;
    const QSet<QString> names = nameSet(propertyNames);
    QSet<int> seen;
    const QList<int> which = ids.isEmpty() ? actions_.keys() : ids;
    for (const int id : which) {
        if (seen.contains(id))
            continue;
        seen.insert(id);
        if (QAction* action = actions_.value(id))
            items.append({id, sentProperties(id, action, names)});
    }
    return items;
}

QDBusVariant DBusMenuExporter::GetProperty(int id, const QString& name) {
    QAction* action = actions_.value(id);
    if (!action) {
        refuse(QStringLiteral("no menu entry with id %1").arg(id));
        return QDBusVariant(QVariant(0));
    }
    const QVariant value = properties(action).value(name);
    if (!value.isValid()) {
        refuse(QStringLiteral("entry %1 has no property %2").arg(id).arg(name));
        return QDBusVariant(QVariant(0));
    }
    return QDBusVariant(value);
}

bool DBusMenuExporter::handle(int id, const QString& eventId) {
    if (id == 0) {
        if (!root_)
            return false;
        if (eventId == QLatin1StringView("opened"))
            emit root_->aboutToShow();
        else if (eventId == QLatin1StringView("closed"))
            emit root_->aboutToHide();
        return true;
    }
    const QPointer<QAction> action = actions_.value(id);
    if (!action)
        return false;
    if (QMenu* submenu = action->menu()) {
        if (eventId == QLatin1StringView("opened"))
            emit submenu->aboutToShow();
        else if (eventId == QLatin1StringView("closed"))
            emit submenu->aboutToHide();
        return true;
    }
    if (eventId == QLatin1StringView("clicked") && action->isEnabled() && action->isVisible()) {
        // After the reply: what the click does may take a while, or quit.
        QTimer::singleShot(0, action, [action] {
            if (action && action->isEnabled())
                action->trigger();
        });
    }
    return true;
}

void DBusMenuExporter::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    if (!handle(id, eventId))
        refuse(QStringLiteral("no menu entry with id %1").arg(id));
}

QList<int> DBusMenuExporter::EventGroup(const dbusmenu::EventList& events) {
    // One group is one gesture: the same event on the same entry counts once.
    QList<int> idErrors;
    QSet<std::pair<int, QString>> handled;
    for (const dbusmenu::Event& event : events) {
        const std::pair<int, QString> what{event.id, event.eventId};
        if (handled.contains(what))
            continue;
        handled.insert(what);
        if (!handle(event.id, event.eventId))
            idErrors.append(event.id);
    }
    if (!events.isEmpty() && idErrors.size() == handled.size())
        refuse(QStringLiteral("none of the menu entries is there"));
    return idErrors;
}

bool DBusMenuExporter::AboutToShow(int id) {
    QMenu* menu = menuOf(id);
    if (!menu) {
        if (id != 0 && !actions_.value(id))
            refuse(QStringLiteral("no menu entry with id %1").arg(id));
        return false;
    }
    // Whatever showing the menu changes at once is what the host must fetch.
    const uint before = revision_;
    emit menu->aboutToShow();
    return revision_ != before;
}

QList<int> DBusMenuExporter::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    QList<int> updatesNeeded;
    for (const int id : ids) {
        QMenu* menu = menuOf(id);
        if (!menu) {
            if (id != 0 && !actions_.value(id))
                idErrors.append(id);
            continue;
        }
        const uint before = revision_;
        emit menu->aboutToShow();
        if (revision_ != before)
            updatesNeeded.append(id);
    }
    return updatesNeeded;
}

void DBusMenuExporter::refuse(const QString& message) {
    if (calledFromDBus())
        sendErrorReply(QDBusError::InvalidArgs, message);
}

bool DBusMenuExporter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ActionAdded:
    case QEvent::ActionRemoved: {
        auto* menu = static_cast<QMenu*>(watched);
        auto* actionEvent = static_cast<QActionEvent*>(event);
        if (event->type() == QEvent::ActionAdded) {
            const int id = idFor(actionEvent->action());
            if (QMenu* submenu = actionEvent->action()->menu()) {
                menuIds_.insert(submenu, id);
                watch(submenu);
            }
        }
        ++revision_;
        ++state_;
        const int parent = menu == root_ ? 0 : menuIds_.value(menu, 0);
        layoutParent_ = layoutParent_ == -1 || layoutParent_ == parent ? parent : 0;
        scheduleFlush();
        break;
    }
    case QEvent::ActionChanged: {
        ++state_;
        auto* action = static_cast<QActionEvent*>(event)->action();
        if (const int id = ids_.value(action, -1); id > 0 && told_.contains(id)) {
            changed_.insert(id);
            scheduleFlush();
        }
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void DBusMenuExporter::scheduleFlush() {
    if (flushQueued_)
        return;
    flushQueued_ = true;
    // Changes made together (a poll's result) go out together.
    QTimer::singleShot(0, this, &DBusMenuExporter::flush);
}

void DBusMenuExporter::flush() {
    flushQueued_ = false;
    dbusmenu::ItemList updated;
    dbusmenu::ItemKeysList removed;
    for (const int id : std::as_const(changed_)) {
        QAction* action = actions_.value(id);
        if (!action)
            continue;
        const QVariantMap before = told_.value(id);
        const QVariantMap now = properties(action);
        if (now == before)
            continue;
        told_.insert(id, now);
        dbusmenu::Item item{id, {}};
        for (auto it = now.cbegin(); it != now.cend(); ++it) {
            if (before.value(it.key()) != it.value())
                item.properties.insert(it.key(), it.value());
        }
        dbusmenu::ItemKeys gone{id, {}};
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            if (!now.contains(it.key()))
                gone.properties.append(it.key());
        }
        if (!item.properties.isEmpty())
            updated.append(item);
        if (!gone.properties.isEmpty())
            removed.append(gone);
    }
    changed_.clear();
    if (!updated.isEmpty() || !removed.isEmpty())
        emit ItemsPropertiesUpdated(updated, removed);
    if (layoutParent_ != -1) {
        const int parent = layoutParent_;
        layoutParent_ = -1;
        emit LayoutUpdated(revision_, parent);
    }
}

} // namespace nimbrook

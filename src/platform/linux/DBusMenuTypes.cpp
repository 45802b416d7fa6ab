#include "platform/linux/DBusMenuTypes.h"

#include <QDBusMetaType>

namespace nimbrook::dbusmenu {

void registerTypes() {
    qDBusRegisterMetaType<Item>();
    qDBusRegisterMetaType<ItemList>();
    qDBusRegisterMetaType<ItemKeys>();
    qDBusRegisterMetaType<ItemKeysList>();
    qDBusRegisterMetaType<LayoutItem>();
    qDBusRegisterMetaType<Event>();
    qDBusRegisterMetaType<EventList>();
    qDBusRegisterMetaType<Shortcut>();
    // Signals and slots name the lists by these names.
    qRegisterMetaType<ItemList>("nimbrook::dbusmenu::ItemList");
    qRegisterMetaType<ItemKeysList>("nimbrook::dbusmenu::ItemKeysList");
    qRegisterMetaType<EventList>("nimbrook::dbusmenu::EventList");
}

QDBusArgument& operator<<(QDBusArgument& argument, const Item& item) {
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Item& item) {
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const ItemKeys& keys) {
    argument.beginStructure();
    argument << keys.id << keys.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ItemKeys& keys) {
    argument.beginStructure();
    argument >> keys.id >> keys.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const LayoutItem& item) {
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const LayoutItem& child : item.children)
        argument << QDBusVariant(QVariant::fromValue(child));
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, LayoutItem& item) {
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.beginArray();
    item.children.clear();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        item.children.append(qdbus_cast<LayoutItem>(child.variant()));
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const Event& event) {
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Event& event) {
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

} // namespace nimbrook::dbusmenu

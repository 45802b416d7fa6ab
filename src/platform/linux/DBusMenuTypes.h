#pragma once

#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QMetaType>
#include <QStringList>
#include <QVariantMap>

namespace nimbrook::dbusmenu {

// The records of the com.canonical.dbusmenu interface, as they go over D-Bus.

// (ia{sv}): an item's id and its properties.
struct Item {
    int id = 0;
    QVariantMap properties;
};
using ItemList = QList<Item>;

// (ias): an item's id and the properties it no longer has.
struct ItemKeys {
    int id = 0;
    QStringList properties;
};
using ItemKeysList = QList<ItemKeys>;

// (ia{sv}av): an item, its properties and its children, each in a variant.
struct LayoutItem {
    int id = 0;
    QVariantMap properties;
    QList<LayoutItem> children;
};

// (isvu): one event of EventGroup.
struct Event {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using EventList = QList<Event>;

// aas: a shortcut, one list of key names per chord.
using Shortcut = QList<QStringList>;

// Makes the types known to Qt D-Bus; call before the first object is exported.
void registerTypes();

QDBusArgument& operator<<(QDBusArgument& argument, const Item& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, Item& item);
QDBusArgument& operator<<(QDBusArgument& argument, const ItemKeys& keys);
const QDBusArgument& operator>>(const QDBusArgument& argument, ItemKeys& keys);
QDBusArgument& operator<<(QDBusArgument& argument, const LayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, LayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const Event& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, Event& event);

} // namespace nimbrook::dbusmenu

Q_DECLARE_METATYPE(nimbrook::dbusmenu::Item)
Q_DECLARE_METATYPE(nimbrook::dbusmenu::ItemKeys)
Q_DECLARE_METATYPE(nimbrook::dbusmenu::LayoutItem)
Q_DECLARE_METATYPE(nimbrook::dbusmenu::Event)

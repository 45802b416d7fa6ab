#include "discovery/MachinePreferences.h"

#include "platform/Scheduler.h"
#include "platform/UserDefaults.h"

#include <QPointer>

namespace nimbrook {

namespace {

QSet<QString> identitySet(const UserDefaults& defaults, const QString& key) {
    QSet<QString> set;
    for (const QString& entry : defaults.stringListForKey(key).value_or(QStringList())) {
        if (const QString identity = entry.trimmed(); !identity.isEmpty())
            set.insert(identity);
    }
    return set;
}

QStringList operatingSystems(const UserDefaults& defaults) {
    QStringList systems;
    QSet<QString> seen;
    for (const QString& entry : defaults.stringListForKey(MachinePreferences::operatingSystemsKey)
                                    .value_or(QStringList())) {
        if (QString system = entry.trimmed().toLower();
            !system.isEmpty() && !seen.contains(system)) {
            seen.insert(system);
            systems.append(std::move(system));
        }
    }
    return systems.isEmpty() ? defaultOperatingSystems : systems;
}

// The stored list with `identity` in or out; the user's order and entries
// otherwise kept as they are.
QStringList withMember(QStringList stored, const QString& identity, bool member) {
    const auto matches = [&identity](const QString& entry) { return entry.trimmed() == identity; };
    if (!member) {
        stored.removeIf(matches);
    } else if (std::none_of(stored.cbegin(), stored.cend(), matches)) {
        stored.append(identity);
    }
    return stored;
}

} // namespace

MachinePreferences::MachinePreferences(UserDefaults& defaults, Scheduler& scheduler,
                                       QObject* parent)
    : QObject(parent)
    , defaults_(defaults)
    , scheduler_(scheduler) {
    reload();
}

void MachinePreferences::reload() {
    publish(identitySet(defaults_, pinnedKey), identitySet(defaults_, notifyKey),
            nimbrook::operatingSystems(defaults_));
}

void MachinePreferences::publish(QSet<QString> storedPinned, QSet<QString> storedNotify,
                                 QStringList systems) {
    storedPinned_ = std::move(storedPinned);
    storedNotify_ = std::move(storedNotify);
    QSet<QString> pinned = storedPinned_;
    QSet<QString> notify = storedNotify_;
    for (const Choice& choice : unsaved_) {
        QSet<QString>& set = choice.key == pinnedKey ? pinned : notify;
        if (choice.member)
            set.insert(choice.identity);
        else
            set.remove(choice.identity);
    }
    if (pinned == pinned_ && notify == notify_ && systems == operatingSystems_)
        return;
    pinned_ = std::move(pinned);
    notify_ = std::move(notify);
    operatingSystems_ = std::move(systems);
    emit changed();
}

Listing MachinePreferences::listing() const {
    return operatingSystems_ == defaultOperatingSystems ? Listing::macs : Listing::computers;
}

void MachinePreferences::setPinned(const QString& identity, bool pinned) {
    choose(pinnedKey, identity, pinned);
}

void MachinePreferences::setNotifyWhenOnline(const QString& identity, bool notify) {
    choose(notifyKey, identity, notify);
}

void MachinePreferences::choose(const QString& key, const QString& identity, bool member) {
    const std::uint64_t serial = ++nextSerial_;
    unsaved_.push_back(Choice{serial, key, identity, member});
    publish(storedPinned_, storedNotify_, operatingSystems_);
    defaults_.changeStringList(
        key,
        [identity, member](const QStringList& stored) {
            return withMember(stored, identity, member);
        },
        [self = QPointer(this), &scheduler = scheduler_,
         serial](const UserDefaults::SaveFailure& failure) {
            scheduler.post([self, serial, failure] {
                if (self)
                    self->saved(serial, failure);
            });
        });
}

void MachinePreferences::saved(std::uint64_t serial, const std::optional<QString>& failure) {
    QString key;
    std::erase_if(unsaved_, [&](const Choice& choice) {
        if (choice.serial != serial)
            return false;
        key = choice.key;
        return true;
    });
    // Shows what the file says now: the choice saved, or not.
    reload();
    if (failure) {
        const QString what =
            key == pinnedKey ? QStringLiteral("the pin") : QStringLiteral("“Notify When Online”");
        emit saveFailed(QStringLiteral("Couldn’t save %1: %2").arg(what, *failure));
    }
}

} // namespace nimbrook

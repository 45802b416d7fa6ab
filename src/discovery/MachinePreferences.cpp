#include "discovery/MachinePreferences.h"

#include "platform/UserDefaults.h"

#include <algorithm>

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
    for (const QString& entry : defaults.stringListForKey(MachinePreferences::operatingSystemsKey)
                                    .value_or(QStringList())) {
        if (const QString system = entry.trimmed().toLower();
            !system.isEmpty() && !systems.contains(system))
            systems.append(system);
    }
    return systems.isEmpty() ? defaultOperatingSystems : systems;
}

} // namespace

MachinePreferences::MachinePreferences(UserDefaults& defaults, QObject* parent)
    : QObject(parent)
    , defaults_(defaults) {
    pinned_ = identitySet(defaults_, pinnedKey);
    notify_ = identitySet(defaults_, notifyKey);
    operatingSystems_ = nimbrook::operatingSystems(defaults_);
}

void MachinePreferences::reload() {
    QSet<QString> pinned = identitySet(defaults_, pinnedKey);
    QSet<QString> notify = identitySet(defaults_, notifyKey);
    QStringList systems = nimbrook::operatingSystems(defaults_);
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

bool MachinePreferences::setPinned(const QString& identity, bool pinned) {
    return write(pinnedKey, pinned_, identity, pinned);
}

bool MachinePreferences::setNotifyWhenOnline(const QString& identity, bool notify) {
    return write(notifyKey, notify_, identity, notify);
}

bool MachinePreferences::write(const QString& key, QSet<QString>& set, const QString& identity,
                               bool member) {
    // From the file as it is now: another instance, or the user, may have
    // changed the list since we last read it.
    QSet<QString> current = identitySet(defaults_, key);
    if (member)
        current.insert(identity);
    else
        current.remove(identity);
    QStringList sorted(current.cbegin(), current.cend());
    std::sort(sorted.begin(), sorted.end());
    const bool written = defaults_.setStringList(key, sorted);
    if (current != set) {
        set = std::move(current);
        emit changed();
    }
    return written;
}

} // namespace nimbrook

#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace nimbrook {

// The user's preferences store.
class UserDefaults {
public:
    virtual ~UserDefaults() = default;
    // The text stored under `key`, or none when nothing (or something that is
    // not a text) is stored there.
    virtual std::optional<QString> stringForKey(const QString& key) const = 0;
    // The list stored under `key` (one text counts as a list of one), or none
    // when nothing, or something else, is stored there.
    virtual std::optional<QStringList> stringListForKey(const QString& key) const = 0;
    // Stores `list` under `key`, keeping everything else in the store as it is
    // now, also what another program wrote since we last looked. False when
    // it could not be stored.
    virtual bool setStringList(const QString& key, const QStringList& list) = 0;
};

} // namespace nimbrook

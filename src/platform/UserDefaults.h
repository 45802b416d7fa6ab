#pragma once

#include <QString>

#include <optional>

namespace nimbrook {

// The user's preferences store.
class UserDefaults {
public:
    virtual ~UserDefaults() = default;
    // The text stored under `key`, or none when nothing (or something that is
    // not a text) is stored there.
    virtual std::optional<QString> stringForKey(const QString& key) const = 0;
};

} // namespace nimbrook

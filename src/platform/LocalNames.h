#pragma once

#include <QString>

#include <optional>

namespace nimbrook {

// This computer's own names, read afresh on every call. Thread-safe.
class LocalNames {
public:
    virtual ~LocalNames() = default;
    // The name the machine uses on the local network (without ".local"), if known.
    virtual std::optional<QString> localHostName() const = 0;
    // The name the user gave the computer, if one is set.
    virtual std::optional<QString> computerName() const = 0;
};

} // namespace nimbrook

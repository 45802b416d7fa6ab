#pragma once

#include <QString>

namespace nimbrook {

// Whether the desktop starts a program when the user logs in.
class Autostart {
public:
    // What a change did, or why it could not.
    struct Outcome {
        bool ok = false;
        bool changed = false; // false when it was already so
        QString error;        // when not ok: one line, for the user
    };

    virtual ~Autostart() = default;

    // Where the login entry lives, for messages.
    virtual QString entryPath() const = 0;
    virtual bool isEnabled() const = 0;
    // Starts `program` at login from now on.
    virtual Outcome enable(const QString& program) = 0;
    virtual Outcome disable() = 0;
};

} // namespace nimbrook

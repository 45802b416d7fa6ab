#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace nimbrook {

// The user's preferences store.
class UserDefaults {
public:
    // What a change makes of the list stored at the moment it is written
    // (empty when none is). Pure: it may run on any thread, and again when
    // the store changed under it.
    using ListChange = std::function<QStringList(const QStringList& stored)>;
    // Why a change was not saved, in words for the user ("Nimbrook.conf is
    // read-only"); none when it was.
    using SaveFailure = std::optional<QString>;
    using SaveCompletion = std::function<void(const SaveFailure& failure)>;

    virtual ~UserDefaults() = default;
    // The text stored under `key`, or none when nothing (or something that is
    // not a text) is stored there.
    virtual std::optional<QString> stringForKey(const QString& key) const = 0;
    // The list stored under `key` (one text counts as a list of one), or none
    // when nothing, something else or an overlong list is stored there.
    virtual std::optional<QStringList> stringListForKey(const QString& key) const = 0;
    // Replaces the list under `key` with what `change` makes of it, as the
    // store holds it at that moment, and keeps everything else as it is then,
    // also what another program wrote since we last looked; an empty list
    // removes the key. Returns at once: the store is written off the calling
    // thread, and changes that queue up meanwhile are written together.
    // `completion` is called exactly once, on any thread, when the change is
    // saved or has failed; a failed change leaves the store as it was.
    virtual void changeStringList(const QString& key, ListChange change,
                                  SaveCompletion completion) = 0;
};

} // namespace nimbrook

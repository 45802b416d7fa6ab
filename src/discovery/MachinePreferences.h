#pragma once

#include "discovery/StatusParse.h"
#include "model/StatusText.h"

#include <QObject>
#include <QSet>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace nimbrook {

class Scheduler;
class UserDefaults;

// The user's choices about machines, from Nimbrook.conf ([General]):
//   NotifyWhenOnline          row identities to announce when they come online
//   PinnedMachines            row identities listed before all others
//   TailscaleOperatingSystems which Tailscale peers are listed (default macOS)
// Read again by reload() (each 5-second tick), so edits by hand apply without
// a restart. A choice made here shows at once and is saved in the background;
// a choice that cannot be saved is undone and said (saveFailed()). Main thread.
class MachinePreferences final : public QObject {
    Q_OBJECT

public:
    static inline const QString notifyKey = QStringLiteral("NotifyWhenOnline");
    static inline const QString pinnedKey = QStringLiteral("PinnedMachines");
    static inline const QString operatingSystemsKey = QStringLiteral("TailscaleOperatingSystems");

    // `scheduler` brings the outcome of each save back to the main thread.
    MachinePreferences(UserDefaults& defaults, Scheduler& scheduler, QObject* parent = nullptr);

    // Reads the settings again; emits changed() when any differs.
    void reload();

    // What the file says, with the choices still being saved applied to it.
    const QSet<QString>& pinned() const { return pinned_; }
    const QSet<QString>& notifyWhenOnline() const { return notify_; }
    // Lower case; defaultOperatingSystems unless the setting says otherwise.
    const QStringList& operatingSystems() const { return operatingSystems_; }
    // Macs only, or computers of other systems too.
    Listing listing() const;

    // Each applies at once and saves the choice: the file's list as it is at
    // that moment, with the one identity added or removed.
    void setPinned(const QString& identity, bool pinned);
    void setNotifyWhenOnline(const QString& identity, bool notify);

signals:
    void changed();
    // A choice could not be saved and was undone. `message` is one line for
    // the user: "Couldn’t save the pin: Nimbrook.conf is read-only".
    void saveFailed(const QString& message);

private:
    struct Choice {
        std::uint64_t serial = 0;
        QString key;
        QString identity;
        bool member = false;
    };
    void choose(const QString& key, const QString& identity, bool member);
    void saved(std::uint64_t serial, const std::optional<QString>& failure);
    // The stored sets with the unsaved choices applied; emits changed() when
    // that differs from what was shown.
    void publish(QSet<QString> storedPinned, QSet<QString> storedNotify, QStringList systems);

    UserDefaults& defaults_;
    Scheduler& scheduler_;
    QSet<QString> storedPinned_;
    QSet<QString> storedNotify_;
    std::vector<Choice> unsaved_; // in the order they were made
    std::uint64_t nextSerial_ = 0;
    QSet<QString> pinned_;
    QSet<QString> notify_;
    QStringList operatingSystems_ = defaultOperatingSystems;
};

} // namespace nimbrook

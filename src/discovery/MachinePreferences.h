#pragma once

#include "discovery/StatusParse.h"
#include "model/StatusText.h"

#include <QObject>
#include <QSet>
#include <QStringList>

namespace nimbrook {

class UserDefaults;

// The user's choices about machines, from Nimbrook.conf ([General]):
//   NotifyWhenOnline          row identities to announce when they come online
//   PinnedMachines            row identities listed before all others
//   TailscaleOperatingSystems which Tailscale peers are listed (default macOS)
// Read again by reload() (each 5-second tick), so edits by hand apply without
// a restart; changes made here are written at once. Main thread.
class MachinePreferences final : public QObject {
    Q_OBJECT

public:
    static inline const QString notifyKey = QStringLiteral("NotifyWhenOnline");
    static inline const QString pinnedKey = QStringLiteral("PinnedMachines");
    static inline const QString operatingSystemsKey = QStringLiteral("TailscaleOperatingSystems");

    explicit MachinePreferences(UserDefaults& defaults, QObject* parent = nullptr);

    // Reads the settings again; emits changed() when any differs.
    void reload();

    const QSet<QString>& pinned() const { return pinned_; }
    const QSet<QString>& notifyWhenOnline() const { return notify_; }
    // Lower case; defaultOperatingSystems unless the setting says otherwise.
    const QStringList& operatingSystems() const { return operatingSystems_; }
    // Macs only, or computers of other systems too.
    Listing listing() const;

    // Each writes the setting at once; false when it could not be written (the
    // choice then lasts until the next reload()).
    bool setPinned(const QString& identity, bool pinned);
    bool setNotifyWhenOnline(const QString& identity, bool notify);

signals:
    void changed();

private:
    bool write(const QString& key, QSet<QString>& set, const QString& identity, bool member);

    UserDefaults& defaults_;
    QSet<QString> pinned_;
    QSet<QString> notify_;
    QStringList operatingSystems_ = defaultOperatingSystems;
};

} // namespace nimbrook

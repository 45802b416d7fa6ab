#pragma once

#include "platform/UserDefaults.h"

#include <QSettings>

namespace nimbrook {

// User defaults in an INI file: ~/.config/Nimbrook/Nimbrook.conf (or under
// $XDG_CONFIG_HOME). Re-read on every lookup, so edits apply without a restart.
class SettingsUserDefaults final : public UserDefaults {
public:
    SettingsUserDefaults();
    // For tests: a specific INI file.
    explicit SettingsUserDefaults(const QString& iniPath);

    std::optional<QString> stringForKey(const QString& key) const override;
    std::optional<QStringList> stringListForKey(const QString& key) const override;
    // Written whole through a temporary file, under QSettings' lock file.
    bool setStringList(const QString& key, const QStringList& list) override;

    QString fileName() const;

private:
    QString iniPath_;
};

} // namespace nimbrook

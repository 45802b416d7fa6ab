#pragma once

#include "platform/Autostart.h"

namespace nimbrook {

// The freedesktop.org autostart entry: a desktop entry in
// $XDG_CONFIG_HOME/autostart (~/.config/autostart by default), which every
// desktop that follows freedesktop.org's autostart rules starts at login.
class XdgAutostart final : public Autostart {
public:
    // `configHome` overrides $XDG_CONFIG_HOME; empty: from the environment.
    explicit XdgAutostart(QString configHome = QString());

    QString entryPath() const override;
    bool isEnabled() const override;
    Outcome enable(const QString& program) override;
    Outcome disable() override;

    // The entry for `program`.
    static QByteArray entry(const QString& program);

private:
    QString path_;
};

} // namespace nimbrook

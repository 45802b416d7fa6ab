#pragma once

#include "platform/Appearance.h"

#include <QDBusMessage>

namespace nimbrook {

// The XDG desktop portal's org.freedesktop.appearance color-scheme, which
// GNOME and Plasma both publish: asked for at start (the answer comes as a
// change), then followed through the portal's SettingChanged signal. Without
// a portal: no preference.
class PortalAppearance final : public Appearance {
    Q_OBJECT

public:
    explicit PortalAppearance(QObject* parent = nullptr);

    ColorScheme colorScheme() const override { return scheme_; }

    // The portal's number: 1 prefers dark, 2 prefers light, anything else
    // says nothing.
    static ColorScheme fromPortalValue(uint value);

private slots:
    void settingChanged(const QDBusMessage& message);

private:
    ColorScheme scheme_ = ColorScheme::noPreference;
};

} // namespace nimbrook

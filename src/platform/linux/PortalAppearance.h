#pragma once

#include "platform/Appearance.h"

#include <QDBusMessage>
#include <QTimer>

#include <chrono>

namespace nimbrook {

// The XDG desktop portal's org.freedesktop.appearance color-scheme, which
// GNOME and Plasma both publish: asked for at start (the answer comes as a
// change), then followed through the portal's SettingChanged signal. Without
// a portal: no preference.
class PortalAppearance final : public Appearance {
    Q_OBJECT

public:
    static constexpr auto applyInterval = std::chrono::milliseconds(100);

    explicit PortalAppearance(QObject* parent = nullptr);

    ColorScheme colorScheme() const override { return scheme_; }

    // The portal's number: 1 prefers dark, 2 prefers light, anything else
    // says nothing.
    static ColorScheme fromPortalValue(uint value);

private slots:
    void settingChanged(const QDBusMessage& message);

private:
    void set(ColorScheme scheme);

    ColorScheme scheme_ = ColorScheme::noPreference;
    ColorScheme received_ = ColorScheme::noPreference; // the latest the portal said
    QTimer apply_;                                     // runs after each change applied
};

} // namespace nimbrook

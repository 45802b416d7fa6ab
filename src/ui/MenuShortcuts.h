#pragma once

#include <QKeySequence>

#include <optional>

namespace nimbrook {

struct MenuShortcuts {
    // Rows 0 … count - 1 have one; none from there on.
    static constexpr int count = 9;

    static bool has(int position) { return position >= 0 && position < count; }

    // Ctrl+1 … Ctrl+9 (⌘1 … ⌘9 on macOS).
    static std::optional<QKeySequence> shortcut(int position) {
        if (!has(position))
            return std::nullopt;
        return QKeySequence(QKeyCombination(Qt::ControlModifier, Qt::Key(Qt::Key_1 + position)));
    }
};

} // namespace nimbrook

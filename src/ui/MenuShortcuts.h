#pragma once

#include <QKeySequence>

#include <optional>

namespace nimbrook {

struct MenuShortcuts {
    // Ctrl+1 … Ctrl+9 (⌘1 … ⌘9 on macOS) for rows 0 … 8; none from the tenth row on.
    static std::optional<QKeySequence> shortcut(int position) {
        if (position < 0 || position > 8)
            return std::nullopt;
        return QKeySequence(QKeyCombination(Qt::ControlModifier, Qt::Key(Qt::Key_1 + position)));
    }
};

} // namespace nimbrook

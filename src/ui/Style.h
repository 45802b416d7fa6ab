#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>

class QPainter;
class QRect;

namespace nimbrook::style {

// Sizes are in points, taken as device-independent pixels.
QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);
QFont monospacedFont(int pixelSize);

// Text colours by role, from the palette's foreground.
QColor primary(const QPalette& palette);
QColor secondary(const QPalette& palette);
QColor tertiary(const QPalette& palette);
QColor accent(const QPalette& palette);
QColor green();

// One of the bundled monochrome icons ("nimbrook", "refresh", "download",
// "power") drawn in `color`.
QIcon icon(const QString& name, const QColor& color, int size);

// Whole palettes for a desktop that asks for dark or light windows.
QPalette darkPalette();
QPalette lightPalette();

// A menu entry's online mark, drawn by the menu's host on its own colours: a
// green dot when online, a grey ring when not.
QIcon dotIcon(bool online);

// The hover highlight behind a row or button: a rounded rectangle inset 5 on
// the left and right, accent colour at 18 %.
void paintHoverHighlight(QPainter& painter, const QRect& rect, const QPalette& palette);

// Whether a row or button that gains focus for `reason` draws it: only when
// the keyboard moved it there (the panel moves focus with the Tab reason once
// the keyboard is in use), so a panel opened with the mouse looks as before.
bool drawsFocusFor(Qt::FocusReason reason);

} // namespace nimbrook::style

#include "ui/Style.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPixmap>
#include <QSvgRenderer>

#include <functional>

namespace nimbrook::style {

QFont font(int pixelSize, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QFont monospacedFont(int pixelSize) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixelSize);
    return font;
}

QColor primary(const QPalette& palette) {
    return palette.color(QPalette::WindowText);
}

QColor secondary(const QPalette& palette) {
    QColor color = primary(palette);
    color.setAlphaF(0.62f);
    return color;
}

QColor tertiary(const QPalette& palette) {
    QColor color = primary(palette);
    color.setAlphaF(0.38f);
    return color;
}

QColor accent(const QPalette& palette) {
    return palette.color(QPalette::Active, QPalette::Highlight);
}

QColor green() {
    return QColor(0x34, 0xC7, 0x59);
}

QIcon icon(const QString& name, const QColor& color, int size) {
    QSvgRenderer renderer(QStringLiteral(":/nimbrook/icons/%1.svg").arg(name));
    QIcon result;
    for (const qreal scale : {1.0, 2.0}) {
        QPixmap pixmap(int(size * scale), int(size * scale));
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        // The artwork is black on transparent; keep its shape, take our colour.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), color);
        painter.end();
        pixmap.setDevicePixelRatio(scale);
        result.addPixmap(pixmap);
    }
    return result;
}

namespace {

struct PaletteColors {
    QColor window, text, base, alternateBase, button, highlight, link, disabledText;
};

QPalette paletteOf(const PaletteColors& colors) {
    QPalette palette(colors.button, colors.window);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, colors.window);
        palette.setColor(group, QPalette::WindowText, colors.text);
        palette.setColor(group, QPalette::Base, colors.base);
        palette.setColor(group, QPalette::AlternateBase, colors.alternateBase);
        palette.setColor(group, QPalette::Text, colors.text);
        palette.setColor(group, QPalette::Button, colors.button);
        palette.setColor(group, QPalette::ButtonText, colors.text);
        palette.setColor(group, QPalette::Highlight, colors.highlight);
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
        palette.setColor(group, QPalette::ToolTipBase, colors.button);
        palette.setColor(group, QPalette::ToolTipText, colors.text);
        palette.setColor(group, QPalette::Link, colors.link);
        QColor placeholder = colors.text;
        placeholder.setAlphaF(0.5f);
        palette.setColor(group, QPalette::PlaceholderText, placeholder);
    }
    palette.setColor(QPalette::Disabled, QPalette::Window, colors.window);
    palette.setColor(QPalette::Disabled, QPalette::Base, colors.base);
    palette.setColor(QPalette::Disabled, QPalette::Button, colors.button);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::PlaceholderText})
        palette.setColor(QPalette::Disabled, role, colors.disabledText);
    return palette;
}

} // namespace

QPalette darkPalette() {
    return paletteOf({QColor(0x24, 0x24, 0x24), QColor(0xff, 0xff, 0xff), QColor(0x1e, 0x1e, 0x1e),
                      QColor(0x2a, 0x2a, 0x2a), QColor(0x30, 0x30, 0x30), QColor(0x35, 0x84, 0xe4),
                      QColor(0x78, 0xae, 0xed), QColor(0x8a, 0x8a, 0x8a)});
}

QPalette lightPalette() {
    return paletteOf({QColor(0xf6, 0xf5, 0xf4), QColor(0x00, 0x00, 0x00), QColor(0xff, 0xff, 0xff),
                      QColor(0xf0, 0xf0, 0xf0), QColor(0xe8, 0xe8, 0xe7), QColor(0x1c, 0x71, 0xd8),
                      QColor(0x1a, 0x5f, 0xb4), QColor(0x92, 0x95, 0x95)});
}

namespace {

// An icon drawn at 16 and 32 pixels by `draw`, given the painter and the
// size of one of the 16 units.
QIcon drawnIcon(const std::function<void(QPainter&, qreal)>& draw) {
    QIcon result;
    for (const int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter, size / 16.0);
        painter.end();
        result.addPixmap(pixmap);
    }
    return result;
}

} // namespace

QIcon dotIcon(bool online) {
    static const QIcon onlineIcon = drawnIcon([](QPainter& painter, qreal unit) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(green());
        painter.drawEllipse(QPointF(8 * unit, 8 * unit), 4 * unit, 4 * unit);
    });
    // Mid grey reads on a light menu and on a dark one.
    static const QIcon offlineIcon = drawnIcon([](QPainter& painter, qreal unit) {
        painter.setPen(QPen(QColor(0x8e, 0x8e, 0x93), 1.5 * unit));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QPointF(8 * unit, 8 * unit), 3.25 * unit, 3.25 * unit);
    });
    return online ? onlineIcon : offlineIcon;
}

void paintHoverHighlight(QPainter& painter, const QRect& rect, const QPalette& palette) {
    QColor fill = accent(palette);
    fill.setAlphaF(0.18f);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect.adjusted(5, 0, -5, 0)), 5, 5);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(shape, fill);
    painter.restore();
}

bool drawsFocusFor(Qt::FocusReason reason) {
    return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason;
}

} // namespace nimbrook::style

#include "ui/Style.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSvgRenderer>

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

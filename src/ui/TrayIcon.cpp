#include "ui/TrayIcon.h"

#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace nimbrook {

namespace {

// The glyph at `size` pixels: the artwork's colours inverted (a white computer
// with a dark slot and light), inside a black outline.
QPixmap drawGlyph(int size) {
    QSvgRenderer renderer(QStringLiteral(":/nimbrook/icons/nimbrook.svg"));
    const int outline = std::max(1, size / 16);
    QImage artwork(size, size, QImage::Format_ARGB32);
    artwork.fill(Qt::transparent);
    {
        QPainter painter(&artwork);
        renderer.render(&painter, QRectF(outline, outline, size - 2 * outline, size - 2 * outline));
    }
    QImage outlineShape = artwork;
    {
        QPainter painter(&outlineShape);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(outlineShape.rect(), Qt::black);
    }
    artwork.invertPixels(QImage::InvertRgb); // alpha stays: straight, not premultiplied

    QPixmap result(size, size);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    for (int dx = -outline; dx <= outline; ++dx) {
        for (int dy = -outline; dy <= outline; ++dy)
            painter.drawImage(dx, dy, outlineShape);
    }
    painter.drawImage(0, 0, artwork);
    return result;
}

class TrayIconEngine final : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        painter->drawPixmap(rect, drawGlyph(std::max(rect.width(), rect.height())));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        return drawGlyph(std::max(size.width(), size.height()));
    }
    QIconEngine* clone() const override { return new TrayIconEngine; }
    QString iconName() override { return QString::fromLatin1(trayIconThemeName); }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {QSize(16, 16), QSize(22, 22), QSize(24, 24),
                QSize(32, 32), QSize(44, 44), QSize(64, 64)};
    }
};

} // namespace

QIcon trayIcon() {
    return QIcon(new TrayIconEngine);
}

} // namespace nimbrook

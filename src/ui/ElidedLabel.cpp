#include "ui/ElidedLabel.h"

#include <QPainter>

namespace nimbrook {

ElidedLabel::ElidedLabel(QWidget* parent)
    : QWidget(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void ElidedLabel::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    updateGeometry();
    update();
}

void ElidedLabel::setColor(const QColor& color) {
    color_ = color;
    update();
}

QString ElidedLabel::displayedText() const {
    return fontMetrics().elidedText(text_, Qt::ElideMiddle, width());
}

QSize ElidedLabel::sizeHint() const {
    return QSize(fontMetrics().horizontalAdvance(text_), fontMetrics().height());
}

QSize ElidedLabel::minimumSizeHint() const {
    return QSize(0, fontMetrics().height());
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(color_.isValid() ? color_ : palette().color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     displayedText());
}

} // namespace nimbrook

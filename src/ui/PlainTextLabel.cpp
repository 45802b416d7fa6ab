#include "ui/PlainTextLabel.h"

namespace nimbrook {

PlainTextLabel::PlainTextLabel(QWidget* parent)
    : QWidget(parent) {
}

void PlainTextLabel::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    updateGeometry();
    update();
}

void PlainTextLabel::setColor(const QColor& color) {
    color_ = color;
    update();
}

QSize PlainTextLabel::minimumSizeHint() const {
    return QSize(0, fontMetrics().height());
}

QColor PlainTextLabel::penColor() const {
    return color_.isValid() ? color_ : palette().color(QPalette::WindowText);
}

} // namespace nimbrook

#include "ui/WrappingLabel.h"

#include <QPainter>
#include <QTextLayout>

namespace nimbrook {

namespace {

// Lays `text` out in lines of `width`; returns the height used.
qreal layoutText(QTextLayout& layout, int width) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(qMax(1, width));
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return height;
}

} // namespace

WrappingLabel::WrappingLabel(QWidget* parent)
    : QWidget(parent) {
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void WrappingLabel::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    updateGeometry();
    update();
}

void WrappingLabel::setColor(const QColor& color) {
    color_ = color;
    update();
}

int WrappingLabel::heightForWidth(int width) const {
    QTextLayout layout(text_, font());
    return qCeil(layoutText(layout, width));
}

QSize WrappingLabel::sizeHint() const {
    const int width = fontMetrics().horizontalAdvance(text_);
    return QSize(width, heightForWidth(qMax(width, 1)));
}

QSize WrappingLabel::minimumSizeHint() const {
    return QSize(0, fontMetrics().height());
}

void WrappingLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(color_.isValid() ? color_ : palette().color(QPalette::WindowText));
    QTextLayout layout(text_, font());
    layoutText(layout, width());
    layout.draw(&painter, QPointF(0, 0));
}

} // namespace nimbrook

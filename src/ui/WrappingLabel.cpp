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
    : PlainTextLabel(parent) {
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int WrappingLabel::heightForWidth(int width) const {
    QTextLayout layout(text(), font());
    return qCeil(layoutText(layout, width));
}

QSize WrappingLabel::sizeHint() const {
    const int width = fontMetrics().horizontalAdvance(text());
    return QSize(width, heightForWidth(qMax(width, 1)));
}

void WrappingLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(penColor());
    QTextLayout layout(text(), font());
    layoutText(layout, width());
    layout.draw(&painter, QPointF(0, 0));
}

} // namespace nimbrook

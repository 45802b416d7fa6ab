#include "ui/FooterButton.h"

#include "ui/Style.h"

#include <QBoxLayout>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace nimbrook {

FooterButton::FooterButton(const QString& title, const QString& symbol,
                           std::function<void()> action, QWidget* parent)
    : QWidget(parent)
    , action_(std::move(action))
    , icon_(new QLabel(this))
    , title_(new QLabel(this))
    , symbol_(symbol) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::ClickFocus);
    icon_->setFixedWidth(14);
    icon_->setTextFormat(Qt::PlainText);
    icon_->setAlignment(Qt::AlignCenter);
    tintIcon();
    title_->setTextFormat(Qt::PlainText);
    title_->setFont(style::font(12));
    setTitle(title);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 4, 10, 4);
    row->setSpacing(8);
    row->addWidget(icon_);
    row->addWidget(title_);
    row->addStretch(1);

    setGraphicsEffect(new QGraphicsOpacityEffect(this));
    setActive(true);
}

void FooterButton::setTitle(const QString& title) {
    title_->setText(title);
    setAccessibleName(title);
}

QString FooterButton::title() const {
    return title_->text();
}

void FooterButton::setActive(bool active) {
    active_ = active;
    // The highlight is recomputed only when the pointer enters or leaves.
    static_cast<QGraphicsOpacityEffect*>(graphicsEffect())->setOpacity(active ? 1.0 : 0.5);
}

qreal FooterButton::opacity() const {
    return static_cast<QGraphicsOpacityEffect*>(graphicsEffect())->opacity();
}

void FooterButton::enterEvent(QEnterEvent* event) {
    hovering_ = active_;
    update();
    QWidget::enterEvent(event);
}

void FooterButton::leaveEvent(QEvent* event) {
    hovering_ = false;
    update();
    QWidget::leaveEvent(event);
}

void FooterButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        trigger();
    QWidget::mouseReleaseEvent(event);
}

QImage FooterButton::iconImage() const {
    return icon_->pixmap().toImage();
}

void FooterButton::tintIcon() {
    icon_->setPixmap(style::icon(symbol_, style::secondary(palette()), 13).pixmap(13, 13));
}

void FooterButton::changeEvent(QEvent* event) {
    // A dark theme chosen while we run: the icon follows the text.
    if (event->type() == QEvent::PaletteChange)
        tintIcon();
    QWidget::changeEvent(event);
}

void FooterButton::trigger() {
    if (active_ && action_)
        action_();
}

void FooterButton::focusInEvent(QFocusEvent* event) {
    focusShown_ = style::drawsFocusFor(event->reason());
    update();
    QWidget::focusInEvent(event);
}

void FooterButton::focusOutEvent(QFocusEvent* event) {
    focusShown_ = false;
    update();
    QWidget::focusOutEvent(event);
}

void FooterButton::paintEvent(QPaintEvent*) {
    if (!hovering_ && !(focusShown_ && active_))
        return;
    QPainter painter(this);
    style::paintHoverHighlight(painter, rect(), palette());
}

} // namespace nimbrook

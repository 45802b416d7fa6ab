#include "ui/MacRow.h"

#include "model/AddressText.h"

#include "ui/ElidedLabel.h"
#include "ui/MenuShortcuts.h"
#include "ui/Style.h"
#include "ui/WrappingLabel.h"

#include <QBoxLayout>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace nimbrook {

namespace {
// The row's layout: margins, the dot, the spacing between the three parts.
constexpr int sideMargin = 10;
constexpr int dotSize = 7;
constexpr int partSpacing = 8;
} // namespace

class MacRow::Dot final : public QWidget {
public:
    explicit Dot(QWidget* parent)
        : QWidget(parent) {
        setFixedSize(dotSize, dotSize);
    }
    void setColor(const QColor& color) {
        color_ = color;
        update();
    }
    const QColor& color() const { return color_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color_);
        painter.drawEllipse(QRectF(rect()));
    }

private:
    QColor color_;
};

MacRow::MacRow(const RemoteMac& mac, int shortcutIndex, QWidget* parent)
    : QWidget(parent)
    , dot_(new Dot(this))
    , name_(new WrappingLabel(this))
    , subtitle_(new ElidedLabel(this))
    , hint_(new QLabel(this)) {
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::ClickFocus);
    applyFonts();
    hint_->setTextFormat(Qt::PlainText);

    auto* text = new QVBoxLayout;
    text->setContentsMargins(0, 0, 0, 0);
    text->setSpacing(1);
    text->addWidget(name_);
    text->addWidget(subtitle_);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(sideMargin, 5, sideMargin, 5);
    row->setSpacing(partSpacing);
    row->addWidget(dot_, 0, Qt::AlignVCenter);
    row->addLayout(text, 1);
    row->addWidget(hint_, 0, Qt::AlignVCenter);

    setMac(mac, shortcutIndex);
}

void MacRow::setMac(const RemoteMac& mac, int shortcutIndex) {
    mac_ = mac;
    shortcutIndex_ = shortcutIndex;
    name_->setText(mac.name);
    subtitle_->setText(sourceAndAddress(mac));
    const QString hintText = hint(shortcutIndex);
    hint_->setText(hintText);
    hint_->setVisible(!hintText.isEmpty());
    setAccessibleName(mac.name);
    setAccessibleDescription(sourceAndAddress(mac));
    applyColors();
}

QString MacRow::nameText() const {
    return name_->text();
}
QString MacRow::subtitleText() const {
    return subtitle_->text();
}
QString MacRow::hintText() const {
    return hint_->isVisibleTo(this) ? hint_->text() : QString();
}
QColor MacRow::dotColor() const {
    return dot_->color();
}

QString MacRow::hint(int shortcutIndex) {
    const std::optional<QKeySequence> shortcut = MenuShortcuts::shortcut(shortcutIndex);
    return shortcut ? shortcut->toString(QKeySequence::NativeText) : QString();
}

void MacRow::applyColors() {
    QColor offline = style::secondary(palette());
    offline.setAlphaF(offline.alphaF() * 0.4f);
    dot_->setColor(mac_.online ? style::green() : offline);
    name_->setColor(style::primary(palette()));
    subtitle_->setColor(style::secondary(palette()));
    QPalette hintPalette = hint_->palette();
    hintPalette.setColor(QPalette::WindowText, style::tertiary(palette()));
    hint_->setPalette(hintPalette);
}

void MacRow::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    update();
    QWidget::enterEvent(event);
}

void MacRow::leaveEvent(QEvent* event) {
    hovering_ = false;
    update();
    QWidget::leaveEvent(event);
}

void MacRow::contextMenuEvent(QContextMenuEvent* event) {
    emit menuRequested(mac_, event->globalPos());
    event->accept();
}

void MacRow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit activated(mac_);
    QWidget::mouseReleaseEvent(event);
}

void MacRow::applyFonts() {
    name_->setFont(style::font(13));
    subtitle_->setFont(style::font(10));
    hint_->setFont(style::monospacedFont(10));
}

QFont MacRow::nameFont() const {
    return name_->font();
}

int MacRow::nameWidthFor(int rowWidth, bool withHint) const {
    int width = rowWidth - 2 * sideMargin - dotSize - partSpacing;
    if (withHint) {
        const int widestHint =
            hint_->fontMetrics().horizontalAdvance(hint(MenuShortcuts::count - 1)) + 2;
        width -= partSpacing + widestHint;
    }
    return width;
}

void MacRow::focusInEvent(QFocusEvent* event) {
    focusShown_ = style::drawsFocusFor(event->reason());
    update();
    QWidget::focusInEvent(event);
}

void MacRow::focusOutEvent(QFocusEvent* event) {
    focusShown_ = false;
    update();
    QWidget::focusOutEvent(event);
}

void MacRow::paintEvent(QPaintEvent*) {
    // The keyboard's place shows as the pointer's does.
    if (!hovering_ && !focusShown_)
        return;
    QPainter painter(this);
    style::paintHoverHighlight(painter, rect(), palette());
}

void MacRow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange)
        applyColors();
    if (event->type() == QEvent::ApplicationFontChange)
        applyFonts();
    QWidget::changeEvent(event);
}

} // namespace nimbrook

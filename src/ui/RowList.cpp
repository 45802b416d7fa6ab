#include "ui/RowList.h"

#include "ui/MacRow.h"
#include "ui/MenuShortcuts.h"
#include "ui/Style.h"

#include <QKeyEvent>
#include <QLayout>
#include <QScrollBar>

#include <algorithm>

namespace nimbrook {

RowList::RowList(QWidget* parent)
    : QAbstractScrollArea(parent)
    , measurer_(new MacRow(RemoteMac{}, MenuShortcuts::count, this)) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setSizeAdjustPolicy(QAbstractScrollArea::AdjustIgnored);
    setFocusPolicy(Qt::NoFocus);
    // Exactly as tall as it says: it takes no room from the other lines.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    measurer_->hide();
    verticalScrollBar()->setSingleStep(20);
}

void RowList::setMacs(QList<RemoteMac> macs) {
    macs_ = std::move(macs);
    // Heights depend on the names and on which rows have hints.
    measureAnew();
}

void RowList::measureAnew() {
    measuredWidth_ = -1;
    measure();
    updateScrollRange();
    updateGeometry();
    bindRows();
}

void RowList::setHeightCap(int height) {
    if (height == heightCap_)
        return;
    heightCap_ = std::max(height, 0);
    updateScrollRange();
    updateGeometry();
}

int RowList::contentHeight() const {
    return tops_.empty() ? 0 : std::max(tops_.back() - spacing, 0);
}

QSize RowList::sizeHint() const {
    return QSize(QAbstractScrollArea::sizeHint().width(), std::min(contentHeight(), heightCap_));
}

QSize RowList::minimumSizeHint() const {
    return sizeHint();
}

int RowList::rowWidth() const {
    // Laid out, the viewport says; before that, the column we are in does.
    if (isVisible() && viewport()->width() > 0)
        return viewport()->width();
    return parentWidget() ? parentWidget()->width() : width();
}

void RowList::measure() {
    const int width = rowWidth();
    if (width <= 0 || width == measuredWidth_)
        return;
    measuredWidth_ = width;
    nameMetrics_ = QFontMetrics(measurer_->nameFont());
    // A row with a short name tells the height of every row whose name fits
    // on one line; a little room is kept, so that a name near the limit takes
    // the exact way below.
    for (const int hint : {0, 1}) {
        measurer_->setMac(RemoteMac{{},
                                    {},
                                    QStringLiteral("M"),
                                    QStringLiteral("0.0.0.0"),
                                    true,
                                    RemoteMac::Source::bonjour},
                          hint ? 0 : MenuShortcuts::count);
        oneLine_[hint] = measurer_->heightForWidth(width);
        nameWidth_[hint] = measurer_->nameWidthFor(width, hint == 1) - 4;
    }
    tops_.assign(std::size_t(macs_.size()) + 1, 0);
    for (qsizetype i = 0; i < macs_.size(); ++i)
        tops_[std::size_t(i) + 1] = tops_[std::size_t(i)] + rowHeight(macs_[i], int(i)) + spacing;
}

int RowList::rowHeight(const RemoteMac& mac, int index) {
    const int hint = MenuShortcuts::has(index) ? 1 : 0;
    if (nameMetrics_.horizontalAdvance(mac.name) <= nameWidth_[hint])
        return oneLine_[hint];
    // A long name wraps: let the row say how tall it gets.
    measurer_->setMac(mac, index);
    return measurer_->heightForWidth(measuredWidth_);
}

void RowList::updateScrollRange() {
    const int pageHeight = std::min(contentHeight(), heightCap_);
    verticalScrollBar()->setPageStep(pageHeight);
    verticalScrollBar()->setRange(0, std::max(0, contentHeight() - viewport()->height()));
}

void RowList::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    measure();
    updateScrollRange();
    bindRows();
}

void RowList::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    // The desktop's font changed: the rows take it, and their heights with it.
    if (event->type() == QEvent::ApplicationFontChange) {
        measurer_->applyFonts();
        measureAnew();
    }
}

void RowList::scrollContentsBy(int, int) {
    bindRows();
}

void RowList::keyPressEvent(QKeyEvent* event) {
    event->ignore();
}

MacRow* RowList::takeRow() {
    if (!spare_.empty()) {
        MacRow* row = spare_.back();
        spare_.pop_back();
        return row;
    }
    auto* row = new MacRow(RemoteMac{}, MenuShortcuts::count, viewport());
    connect(row, &MacRow::activated, this, &RowList::activated);
    connect(row, &MacRow::menuRequested, this, &RowList::menuRequested);
    return row;
}

void RowList::bindRows() {
    if (tops_.size() != std::size_t(macs_.size()) + 1)
        return;
    const int offset = verticalScrollBar()->value();
    const int viewHeight =
        isVisible() ? viewport()->height() : std::min(contentHeight(), heightCap_);
    const int bottom = offset + viewHeight;
    // The first row that reaches into view, and every row up to the bottom.
    const auto first = std::upper_bound(tops_.begin(), tops_.end() - 1, offset) - tops_.begin() - 1;
    QHash<QString, MacRow*> previous = std::move(bound_);
    bound_.clear();
    QList<MacRow*> inView;
    for (qsizetype i = std::max<qsizetype>(first, 0);
         i < macs_.size() && tops_[std::size_t(i)] < bottom; ++i) {
        const RemoteMac& mac = macs_[i];
        inView.append(previous.take(mac.rowIdentity())); // none yet: bound below
    }
    // Rows whose machine left the view serve the machines that came into it.
    for (MacRow* gone : std::as_const(previous)) {
        gone->hide();
        spare_.push_back(gone);
    }
    const int start = int(std::max<qsizetype>(first, 0));
    for (int k = 0; k < inView.size(); ++k) {
        const int index = start + k;
        const RemoteMac& mac = macs_[index];
        MacRow*& row = inView[k];
        if (!row)
            row = takeRow();
        bound_.insert(mac.rowIdentity(), row);
        row->setMac(mac, index);
        const std::size_t i = std::size_t(index);
        row->setGeometry(0, tops_[i] - offset, rowWidth(), tops_[i + 1] - tops_[i] - spacing);
        row->show();
    }
    inView_ = std::move(inView);
    emit rowsRebound();
}

MacRow* RowList::rowFor(int index) const {
    if (index < 0 || index >= macs_.size())
        return nullptr;
    return bound_.value(macs_[index].rowIdentity(), nullptr);
}

void RowList::ensureVisible(int index) {
    if (index < 0 || std::size_t(index) + 1 >= tops_.size())
        return;
    const int top = tops_[std::size_t(index)];
    const int bottom = tops_[std::size_t(index) + 1] - spacing;
    QScrollBar* bar = verticalScrollBar();
    if (top < bar->value())
        bar->setValue(top);
    else if (bottom > bar->value() + viewport()->height())
        bar->setValue(bottom - viewport()->height());
}

} // namespace nimbrook

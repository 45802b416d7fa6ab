#pragma once

#include "model/RemoteMac.h"

#include <QAbstractScrollArea>
#include <QFontMetrics>
#include <QHash>

#include <vector>

namespace nimbrook {

class MacRow;

// The machines of the panel, one MacRow per machine in view: a list of
// thousands costs the rows that fit on the screen, not thousands of widgets.
// As tall as its rows while they fit under `heightCap`; beyond it the rows
// scroll. A row keeps its widget (and hover state) while its machine stays in
// view, wherever it moves.
class RowList final : public QAbstractScrollArea {
    Q_OBJECT

public:
    static constexpr int spacing = 2; // between rows

    explicit RowList(QWidget* parent = nullptr);

    void setMacs(QList<RemoteMac> macs);
    const QList<RemoteMac>& macs() const { return macs_; }
    void setHeightCap(int height);

    // The rows in view, top to bottom; and the one showing machine `index`.
    QList<MacRow*> rowsInView() const { return inView_; }
    MacRow* rowFor(int index) const;
    // Scrolls as little as needed for machine `index` to be in view.
    void ensureVisible(int index);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void activated(const nimbrook::RemoteMac& mac);
    void menuRequested(const nimbrook::RemoteMac& mac, const QPoint& globalPosition);
    // Rows were bound to other machines (scrolled, or the list changed).
    void rowsRebound();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    // Keys belong to the panel's own navigation, not to scrolling.
    void keyPressEvent(QKeyEvent* event) override;

private:
    int rowWidth() const;
    void measure();
    // Forgets every height and measures, lays out and binds the rows again.
    void measureAnew();
    int rowHeight(const RemoteMac& mac, int index);
    void bindRows();
    void updateScrollRange();
    int contentHeight() const;
    MacRow* takeRow();

    QList<RemoteMac> macs_;
    std::vector<int> tops_; // y of each row in the content; one past the end: total
    int heightCap_ = QWIDGETSIZE_MAX;
    int measuredWidth_ = -1;
    MacRow* measurer_;
    int oneLine_[2] = {0, 0};   // a one-line row's height, without and with a hint
    int nameWidth_[2] = {0, 0}; // the name's width there
    QFontMetrics nameMetrics_{QFont()};
    QHash<QString, MacRow*> bound_; // by row identity
    QList<MacRow*> inView_;
    std::vector<MacRow*> spare_;
};

} // namespace nimbrook

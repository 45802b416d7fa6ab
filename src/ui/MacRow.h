#pragma once

#include "model/RemoteMac.h"

#include <QWidget>

class QLabel;

namespace nimbrook {

class ElidedLabel;
class WrappingLabel;

// One machine in the panel: a status dot, the name, "source · address", and
// for the first nine rows the hint of the row's keyboard shortcut. Clicking
// anywhere on it emits activated(); it opens nothing itself.
class MacRow final : public QWidget {
    Q_OBJECT

public:
    MacRow(const RemoteMac& mac, int shortcutIndex, QWidget* parent = nullptr);

    // Shows another value of the same row; the hover state stays.
    void setMac(const RemoteMac& mac, int shortcutIndex);

    const RemoteMac& mac() const { return mac_; }
    int shortcutIndex() const { return shortcutIndex_; }
    bool isHovering() const { return hovering_; }
    bool isFocusShown() const { return focusShown_; }

    // What the row shows, for tests and accessibility.
    QString nameText() const;
    QString subtitleText() const;
    QString hintText() const; // empty when the row has no shortcut
    QColor dotColor() const;
    // How wide the name may be on one line in a row `rowWidth` wide.
    int nameWidthFor(int rowWidth, bool withHint) const;
    QFont nameFont() const;
    // The system font at the row's sizes; again when the desktop's font changes.
    void applyFonts();
    // What a click does: emits activated().
    void activate() { emit activated(mac_); }

    // The shortcut's text in the platform's own notation ("Ctrl+1", "⌘1"), or
    // empty from the tenth row on.
    static QString hint(int shortcutIndex);

signals:
    void activated(const nimbrook::RemoteMac& mac);
    // Right-click, or the Menu key: the row's own menu, at `globalPosition`.
    void menuRequested(const nimbrook::RemoteMac& mac, const QPoint& globalPosition);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    class Dot;

    void applyColors();

    RemoteMac mac_;
    int shortcutIndex_ = 0;
    bool hovering_ = false;
    bool focusShown_ = false; // the keyboard put the focus here
    Dot* dot_;
    WrappingLabel* name_;
    ElidedLabel* subtitle_;
    QLabel* hint_;
};

} // namespace nimbrook

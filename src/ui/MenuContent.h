#pragma once

#include "model/RemoteMac.h"

#include <QWidget>

#include <chrono>

class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;

namespace nimbrook {

class Discovery;
class FooterButton;
class MenuActions;
class MacRow;
class RowList;

// Everything the panel shows: the header ("My Macs"), a filter line while the
// user types, the status line while the list is empty (or, for a while, a
// notice), one row per machine
// (Ctrl+1 … Ctrl+9 for the first nine shown), and the Refresh, Check for
// Updates… and Quit commands. It redraws from the Discovery's published values
// whenever they change. Rows scroll once they no longer fit on the screen.
//
// Keyboard: typing filters; Up/Down, Tab and Shift+Tab move over the rows and
// the commands, Home/End jump; Enter or Space does what a click does; Ctrl+C
// copies the focused machine's address; Escape clears the filter, then asks
// for the panel to close.
class MenuContent final : public QWidget {
    Q_OBJECT

public:
    static constexpr int panelWidth = 240;
    // Room left on the screen above and below the panel.
    static constexpr int screenMargin = 40;
    // How long a notice stays in the status line.
    static constexpr auto noticeDuration = std::chrono::seconds(10);

    // The commands and the choice of a machine go through `actions`, which
    // the icon's menu shares.
    MenuContent(Discovery& discovery, MenuActions& actions, QWidget* parent = nullptr);

    // For tests and accessibility: what is on screen now.
    QString statusText() const;         // empty when the status line is hidden
    QList<MacRow*> rows() const;        // the rows in view
    QList<RemoteMac> shownMacs() const; // every machine the filter lets through
    QString filterText() const;
    FooterButton* refreshButton() const { return refresh_; }
    FooterButton* updatesButton() const { return updates_; }
    FooterButton* quitButton() const { return quit_; }
    // The place of the keyboard focus: a machine's index, then the commands.
    int focusIndex() const { return focus_; }

    // The menu's commands.
    void refresh();
    void quit();
    void activateRow(int position);
    // The row menu of `mac`: "Notify When Online", "Pin to Top" or "Unpin",
    // "Copy Address" and "Copy Name".
    QMenu* rowMenu(const RemoteMac& mac);
    // The height the panel may take on its screen.
    void setAvailableHeight(int height);
    // Shows `text` in the status line for noticeDuration, whatever is listed:
    // what went wrong with something the user just did.
    void showNotice(const QString& text);

signals:
    // Emitted every time the content is shown.
    void shown();
    // A machine was chosen; its address is handed over right after this.
    void choosing();
    // Escape with nothing left to clear.
    void closeRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void redraw();
    void applyColors();
    void applyFilter();
    // Caps the rows at what the available height leaves them.
    void capRows();
    // Resizes the window the content is in to what the content asks.
    void fitWindow();
    void fitStatusHeight();
    void choose(const RemoteMac& mac);
    // Moves the keyboard focus to `index` (clamped), scrolling it into view.
    void moveFocus(int index);
    void activateFocused();
    // `toFilter`: the filter line has the event and types text itself.
    bool handleKey(QKeyEvent* event, bool toFilter);
    int itemCount() const;
    // Focus moved by the keyboard is shown; focus placed when the panel opens
    // is not, so that a panel opened with the mouse looks as it always did.
    Qt::FocusReason focusReason() const;

    Discovery& discovery_;
    MenuActions& actions_;
    QLabel* header_;
    QLineEdit* filter_;
    QLabel* status_;
    QTimer* notice_ = nullptr; // runs while noticeText_ is shown
    QString noticeText_;
    QFrame* divider_;
    RowList* list_;
    FooterButton* refresh_;
    FooterButton* updates_;
    FooterButton* quit_;
    QList<RemoteMac> shown_; // after the filter
    int focus_ = -1;
    int availableHeight_ = -1;
    bool keyboardUsed_ = false;
};

} // namespace nimbrook

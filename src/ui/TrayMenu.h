#pragma once

#include <QMenu>

#include <functional>

namespace nimbrook {

class Discovery;
struct RemoteMac;

// The tray icon's own menu, for hosts that show a menu rather than a window
// (and on right-click elsewhere): every machine in the panel's order, the
// first nine with their Ctrl+1 … Ctrl+9, then Refresh, Check for Updates… and
// Quit, enabled as in the panel; the status text when there is no machine.
// Rebuilt when it is about to show, and while it is open whenever the list
// changes.
class TrayMenu final : public QMenu {
    Q_OBJECT

public:
    TrayMenu(Discovery& discovery, std::function<void()> checkForUpdates,
             std::function<void()> quit, QWidget* parent = nullptr);

    // One machine's item text: its name and the row's subtitle.
    static QString itemText(const RemoteMac& mac);

signals:
    // A machine was chosen; its address is handed over right after this.
    void choosing();

private:
    void rebuild();

    Discovery& discovery_;
    std::function<void()> checkForUpdates_;
    std::function<void()> quit_;
    bool open_ = false;
    bool rebuildQueued_ = false;
};

} // namespace nimbrook

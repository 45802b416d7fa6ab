#pragma once

#include <QMenu>

namespace nimbrook {

class Discovery;
class MenuActions;

// The tray icon's own menu, for hosts that show a menu rather than a window
// (and on right-click elsewhere): the first machines in the panel's order
// (MenuActions::menuMachines), the first nine with their Ctrl+1 … Ctrl+9,
// "Show All Machines…" when there are more, "Notify When Online" and "Pin to
// Top" for those shown, then Refresh, Check for Updates… and Quit, enabled as
// in the panel;
// the status text when there is no machine. It holds the shared actions and
// lays them out anew only when machines come, go or move.
class TrayMenu final : public QMenu {
    Q_OBJECT

public:
    TrayMenu(Discovery& discovery, MenuActions& actions, QWidget* parent = nullptr);

private:
    void layOut();

    MenuActions& actions_;
    QAction* separator_;
};

} // namespace nimbrook

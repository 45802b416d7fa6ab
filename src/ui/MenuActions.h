#pragma once

#include "model/RemoteMac.h"

#include <QHash>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QMenu;

namespace nimbrook {

class Discovery;

// The commands the panel and the icon's menu both offer, as one set of actions
// kept for as long as what they stand for is there: one for each of the first
// menuMachines machines (by row identity, with its "Notify When Online" and
// "Pin to Top" toggles), "Show All Machines…" while there are more, the
// status line shown while there is no machine, and Refresh, Check for
// Updates… and Quit. Each change of the Discovery's values updates the
// actions in place: an unchanged list changes nothing, a changed machine
// changes its own action only, and a machine keeps its actions while listed,
// so a menu host's ids, an open submenu and a click on its way all survive.
class MenuActions final : public QObject {
    Q_OBJECT

public:
    // How many machines the icon's menu lists: what fits a 1280×720 screen
    // under GNOME's bar with the commands (GNOME's entries are the tallest,
    // about 39 px), and at least the nine with a shortcut. The panel lists
    // them all.
    static constexpr int menuMachines = 10;

    MenuActions(Discovery& discovery, std::function<void()> checkForUpdates,
                std::function<void()> quit, QObject* parent = nullptr);
    ~MenuActions() override;

    // One for each of the first menuMachines machines, in the list's order:
    // its name and the row's subtitle, the online dot as its icon, Ctrl+1 …
    // Ctrl+9 for the first nine.
    QList<QAction*> machines() const;
    // The action of a machine among those, or none.
    QAction* machine(const QString& rowIdentity) const;
    // Visible while more machines are listed than the menu shows; whoever
    // shows them all connects to it.
    QAction* showAll() const { return showAll_; }
    // Checkable, one per machine of machines(), in the same order.
    QMenu* notifyMenu() const { return notifyMenu_.get(); }
    QMenu* pinMenu() const { return pinMenu_.get(); }
    // Disabled; visible only while no machine is listed.
    QAction* status() const { return status_; }
    QAction* refresh() const { return refresh_; }
    QAction* checkForUpdates() const { return checkForUpdates_; }
    QAction* quit() const { return quit_; }

    // One machine's item text: its name and the row's subtitle.
    static QString itemText(const RemoteMac& mac);

signals:
    // A machine was added, removed or moved: menus lay themselves out anew.
    void layoutChanged();
    // A machine was chosen; its address is handed over right after this.
    void choosing();

private:
    // One listed machine's record and its three actions.
    struct Machine {
        RemoteMac mac;
        QAction* choose = nullptr;
        QAction* notify = nullptr;
        QAction* pin = nullptr;
    };
    void update();
    void updatePreferences();
    void updateCommands();
    Machine& add(const RemoteMac& mac);

    Discovery& discovery_;
    QHash<QString, Machine> machines_; // by row identity
    QStringList order_;
    std::unique_ptr<QMenu> notifyMenu_;
    std::unique_ptr<QMenu> pinMenu_;
    QAction* status_;
    QAction* showAll_;
    QAction* refresh_;
    QAction* checkForUpdates_;
    QAction* quit_;
};

} // namespace nimbrook

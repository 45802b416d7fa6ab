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
// kept for as long as what they stand for is there: one per machine (by row
// identity, with its "Notify When Online" and "Pin to Top" toggles), the
// status line shown while there is no machine, and Refresh, Check for
// Updates… and Quit. Each change of the Discovery's values updates the
// actions in place: an unchanged list changes nothing, a changed machine
// changes its own action only, and a machine keeps its actions while listed,
// so a menu host's ids, an open submenu and a click on its way all survive.
class MenuActions final : public QObject {
    Q_OBJECT

public:
    MenuActions(Discovery& discovery, std::function<void()> checkForUpdates,
                std::function<void()> quit, QObject* parent = nullptr);
    ~MenuActions() override;

    // One per listed machine, in the list's order: its name and the row's
    // subtitle, the online dot as its icon, Ctrl+1 … Ctrl+9 for the first nine.
    QList<QAction*> machines() const;
    QAction* machine(const QString& rowIdentity) const;
    // Checkable, one per machine, in the same order.
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
    QAction* refresh_;
    QAction* checkForUpdates_;
    QAction* quit_;
};

} // namespace nimbrook

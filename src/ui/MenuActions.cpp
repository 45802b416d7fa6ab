#include "ui/MenuActions.h"

#include "discovery/Discovery.h"
#include "model/StatusText.h"
#include "ui/MacRow.h"
#include "ui/MenuShortcuts.h"
#include "ui/Style.h"

#include <QAction>
#include <QMenu>

#include <algorithm>

namespace nimbrook {

namespace {

// Text for a menu item as written: "&" would make the next letter a mnemonic.
QString literally(QString text) {
    return text.replace(u'&', QStringLiteral("&&"));
}

const QString refreshText = QStringLiteral("Refresh");
const QString refreshingText = QStringLiteral("Refreshing\u2026");

} // namespace

MenuActions::MenuActions(Discovery& discovery, std::function<void()> checkForUpdates,
                         std::function<void()> quit, QObject* parent)
    : QObject(parent)
    , discovery_(discovery)
    , notifyMenu_(std::make_unique<QMenu>(QStringLiteral("Notify When Online")))
    , pinMenu_(std::make_unique<QMenu>(QStringLiteral("Pin to Top")))
    , status_(new QAction(this))
    , showAll_(new QAction(QStringLiteral("Show All Machines\u2026"), this))
    , refresh_(new QAction(refreshText, this))
    , checkForUpdates_(new QAction(QStringLiteral("Check for Updates\u2026"), this))
    , quit_(new QAction(QStringLiteral("Quit"), this)) {
    status_->setEnabled(false);
    showAll_->setVisible(false);
    connect(refresh_, &QAction::triggered, this, [this] { discovery_.refresh(); });
    connect(checkForUpdates_, &QAction::triggered, this, [run = std::move(checkForUpdates)] {
        if (run)
            run();
    });
    connect(quit_, &QAction::triggered, this, [this, run = std::move(quit)] {
        discovery_.stop();
        if (run)
            run();
    });
    connect(&discovery_, &Discovery::macsChanged, this, &MenuActions::update);
    connect(&discovery_, &Discovery::tailscaleStateChanged, this, &MenuActions::updateCommands);
    connect(&discovery_, &Discovery::isPollingChanged, this, &MenuActions::updateCommands);
    connect(&discovery_.preferences(), &MachinePreferences::changed, this,
            &MenuActions::updatePreferences);
    update();
    updateCommands();
}

MenuActions::~MenuActions() = default;

QString MenuActions::itemText(const RemoteMac& mac) {
    return literally(mac.name + QStringLiteral(" \u2014 ") + sourceAndAddress(mac));
}

QList<QAction*> MenuActions::machines() const {
    QList<QAction*> result;
    result.reserve(order_.size());
    for (const QString& identity : order_)
        result.append(machines_.value(identity).choose);
    return result;
}

QAction* MenuActions::machine(const QString& rowIdentity) const {
    const auto found = machines_.constFind(rowIdentity);
    return found == machines_.cend() ? nullptr : found->choose;
}

MenuActions::Machine& MenuActions::add(const RemoteMac& mac) {
    const QString identity = mac.rowIdentity();
    Machine machine{mac, new QAction(this), new QAction(this), new QAction(this)};
    // Shown beside the item; the panel's own shortcuts do the work.
    machine.choose->setShortcutContext(Qt::WidgetShortcut);
    // The record of the moment of the click, not of when the action was made;
    // the action goes with the machine, so the machine is there to click.
    connect(machine.choose, &QAction::triggered, this, [this, identity] {
        emit choosing();
        discovery_.connect(machines_.value(identity).mac);
    });
    MachinePreferences& preferences = discovery_.preferences();
    machine.notify->setCheckable(true);
    connect(machine.notify, &QAction::triggered, this,
            [&preferences, identity](bool on) { preferences.setNotifyWhenOnline(identity, on); });
    machine.pin->setCheckable(true);
    connect(machine.pin, &QAction::triggered, this,
            [&preferences, identity](bool on) { preferences.setPinned(identity, on); });
    return *machines_.insert(identity, machine);
}

void MenuActions::update() {
    const QList<RemoteMac>& macs = discovery_.macs();
    // A menu of thousands reaches past the screen and stalls the desktop's
    // shell: the first ones only, the rest in the panel.
    const int shown = int(std::min<qsizetype>(macs.size(), menuMachines));
    QStringList order;
    order.reserve(shown);
    QHash<QString, Machine> gone = machines_;
    for (int position = 0; position < shown; ++position) {
        const RemoteMac& mac = macs[position];
        const QString identity = mac.rowIdentity();
        order.append(identity);
        gone.remove(identity);
        const auto found = machines_.find(identity);
        const bool isNew = found == machines_.end();
        Machine& machine = isNew ? add(mac) : *found;
        const bool onlineChanged = isNew || machine.mac.online != mac.online;
        machine.mac = mac;
        // Menus hear of every change an action reports: set only what differs.
        machine.choose->setText(itemText(mac));
        if (onlineChanged)
            machine.choose->setIcon(style::dotIcon(mac.online));
        if (const QKeySequence shortcut =
                MenuShortcuts::shortcut(position).value_or(QKeySequence());
            machine.choose->shortcut() != shortcut)
            machine.choose->setShortcut(shortcut);
        machine.notify->setText(literally(mac.name));
        machine.pin->setText(literally(mac.name));
    }
    for (const Machine& machine : std::as_const(gone)) {
        machines_.remove(machine.mac.rowIdentity());
        delete machine.choose;
        delete machine.notify;
        delete machine.pin;
    }
    status_->setVisible(macs.isEmpty());
    showAll_->setVisible(macs.size() > shown);
    notifyMenu_->menuAction()->setVisible(!order.isEmpty());
    pinMenu_->menuAction()->setVisible(!order.isEmpty());
    if (order == order_)
        return updatePreferences();
    order_ = std::move(order);
    notifyMenu_->clear();
    pinMenu_->clear();
    for (const QString& identity : std::as_const(order_)) {
        const Machine& machine = machines_[identity];
        notifyMenu_->addAction(machine.notify);
        pinMenu_->addAction(machine.pin);
    }
    updatePreferences();
    emit layoutChanged();
}

void MenuActions::updatePreferences() {
    const MachinePreferences& preferences = discovery_.preferences();
    for (const Machine& machine : std::as_const(machines_)) {
        const QString identity = machine.mac.rowIdentity();
        machine.notify->setChecked(preferences.notifyWhenOnline().contains(identity));
        machine.pin->setChecked(preferences.pinned().contains(identity));
    }
}

void MenuActions::updateCommands() {
    const bool polling = discovery_.isPolling();
    refresh_->setText(polling ? refreshingText : refreshText);
    refresh_->setEnabled(!polling);
    status_->setText(statusText(discovery_.tailscaleState(), discovery_.preferences().listing()));
}

} // namespace nimbrook

#include "ui/TrayMenu.h"

#include "discovery/Discovery.h"
#include "model/StatusText.h"
#include "ui/MacRow.h"
#include "ui/MenuShortcuts.h"

namespace nimbrook {

TrayMenu::TrayMenu(Discovery& discovery, std::function<void()> checkForUpdates,
                   std::function<void()> quit, QWidget* parent)
    : QMenu(parent)
    , discovery_(discovery)
    , checkForUpdates_(std::move(checkForUpdates))
    , quit_(std::move(quit)) {
    connect(this, &QMenu::aboutToShow, this, [this] {
        open_ = true;
        // Showing the menu is using Nimbrook, as showing the panel is.
        discovery_.start();
        rebuild();
    });
    connect(this, &QMenu::aboutToHide, this, [this] { open_ = false; });
    // Later, not now: the change may come from one of the menu's own items,
    // which must not be deleted while it is still reporting its click.
    const auto rebuildWhileOpen = [this] {
        if (!open_ || rebuildQueued_)
            return;
        rebuildQueued_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                rebuildQueued_ = false;
                if (open_)
                    rebuild();
            },
            Qt::QueuedConnection);
    };
    connect(&discovery_, &Discovery::changed, this, rebuildWhileOpen);
    connect(&discovery_.preferences(), &MachinePreferences::changed, this, rebuildWhileOpen);
    rebuild();
}

namespace {

// Text for a menu item as written: "&" would make the next letter a mnemonic.
QString literally(QString text) {
    return text.replace(u'&', QStringLiteral("&&"));
}

} // namespace

QString TrayMenu::itemText(const RemoteMac& mac) {
    return literally(mac.name + QStringLiteral(" \u2014 ") + MacRow::subtitle(mac));
}

void TrayMenu::rebuild() {
    clear();
    const QList<RemoteMac>& macs = discovery_.macs();
    if (macs.isEmpty()) {
        addAction(statusText(discovery_.tailscaleState()))->setEnabled(false);
    }
    for (int position = 0; position < macs.size(); ++position) {
        const RemoteMac mac = macs[position];
        QAction* item = addAction(itemText(mac));
        if (const std::optional<QKeySequence> shortcut = MenuShortcuts::shortcut(position))
            item->setShortcut(*shortcut);
        // Shown beside the item; the panel's own shortcuts do the work.
        item->setShortcutContext(Qt::WidgetShortcut);
        connect(item, &QAction::triggered, this, [this, mac] {
            emit choosing();
            discovery_.connect(mac);
        });
    }
    if (!macs.isEmpty()) {
        // Checked when chosen: a host that only shows menus has no row menus.
        MachinePreferences& preferences = discovery_.preferences();
        QMenu* notify = addMenu(QStringLiteral("Notify When Online"));
        QMenu* pin = addMenu(QStringLiteral("Pin to Top"));
        for (const RemoteMac& mac : macs) {
            const QString identity = mac.rowIdentity();
            const QString label = literally(mac.name);
            QAction* notifyItem = notify->addAction(label);
            notifyItem->setCheckable(true);
            notifyItem->setChecked(preferences.notifyWhenOnline().contains(identity));
            connect(notifyItem, &QAction::toggled, this, [&preferences, identity](bool on) {
                preferences.setNotifyWhenOnline(identity, on);
            });
            QAction* pinItem = pin->addAction(label);
            pinItem->setCheckable(true);
            pinItem->setChecked(preferences.pinned().contains(identity));
            connect(pinItem, &QAction::toggled, this,
                    [&preferences, identity](bool on) { preferences.setPinned(identity, on); });
        }
    }
    addSeparator();
    const bool polling = discovery_.isPolling();
    QAction* refresh =
        addAction(polling ? QStringLiteral("Refreshing\u2026") : QStringLiteral("Refresh"));
    refresh->setEnabled(!polling);
    connect(refresh, &QAction::triggered, this, [this] { discovery_.refresh(); });
    connect(addAction(QStringLiteral("Check for Updates\u2026")), &QAction::triggered, this,
            [this] {
                if (checkForUpdates_)
                    checkForUpdates_();
            });
    connect(addAction(QStringLiteral("Quit")), &QAction::triggered, this, [this] {
        discovery_.stop();
        if (quit_)
            quit_();
    });
}

} // namespace nimbrook

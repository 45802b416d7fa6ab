#include "ui/TrayMenu.h"

#include "discovery/Discovery.h"
#include "ui/MenuActions.h"

#include <QSet>

namespace nimbrook {

TrayMenu::TrayMenu(Discovery& discovery, MenuActions& actions, QWidget* parent)
    : QMenu(parent)
    , actions_(actions)
    , separator_(new QAction(this)) {
    separator_->setSeparator(true);
    // Showing the menu is using Nimbrook, as showing the panel is.
    connect(this, &QMenu::aboutToShow, &discovery, &Discovery::start);
    connect(&actions_, &MenuActions::layoutChanged, this, &TrayMenu::layOut);
    layOut();
}

void TrayMenu::layOut() {
    QList<QAction*> wanted{actions_.status()};
    wanted += actions_.machines();
    wanted += {actions_.showAll(),
               actions_.notifyMenu()->menuAction(),
               actions_.pinMenu()->menuAction(),
               separator_,
               actions_.refresh(),
               actions_.checkForUpdates(),
               actions_.quit()};
    QList<QAction*> current = actions();
    if (current == wanted)
        return;
    // Keep what stays where it is and move only the rest, so that a menu host
    // hears of the entries that came, went or moved and of nothing else. A
    // list turned over wholesale is laid out afresh: fewer steps than moves.
    const QSet<QAction*> keep(wanted.cbegin(), wanted.cend());
    for (QAction* action : std::as_const(current)) {
        if (!keep.contains(action))
            removeAction(action);
    }
    current = actions();
    constexpr int mostMoves = 64;
    int moves = 0;
    for (qsizetype position = 0; position < wanted.size() && moves <= mostMoves; ++position) {
        if (position < current.size() && current[position] == wanted[position])
            continue;
        ++moves;
        if (current.removeOne(wanted[position]))
            removeAction(wanted[position]);
        insertAction(position < current.size() ? current[position] : nullptr, wanted[position]);
        current.insert(position, wanted[position]);
    }
    if (moves > mostMoves) {
        for (QAction* action : actions())
            removeAction(action);
        addActions(wanted);
    }
}

} // namespace nimbrook

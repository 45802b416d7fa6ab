#include "app/PanelPlacement.h"

#include <algorithm>

namespace nimbrook {

QPoint panelPosition(const QRect& anchor, const QSize& panel, const QRect& available) {
    QPoint position(anchor.center().x() - panel.width() / 2, anchor.bottom() + 1);
    if (position.y() + panel.height() - 1 > available.bottom())
        position.setY(anchor.top() - panel.height());
    // qBound would assert on a panel larger than the area: the top left wins.
    position.setX(
        std::max(available.left(), std::min(position.x(), available.right() + 1 - panel.width())));
    position.setY(
        std::max(available.top(), std::min(position.y(), available.bottom() + 1 - panel.height())));
    return position;
}

QRect areaBesideBar(const QRect& screen, const QPoint& click, int reach) {
    if (!screen.contains(click))
        return screen;
    // An icon at the end of a bar is near two edges: both are kept clear.
    const auto depth = [reach](int distance) { return distance < reach ? 2 * distance + 1 : 0; };
    return screen.adjusted(depth(click.x() - screen.left()), depth(click.y() - screen.top()),
                           -depth(screen.right() - click.x()), -depth(screen.bottom() - click.y()));
}

} // namespace nimbrook

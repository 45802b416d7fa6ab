#include "app/PanelPlacement.h"

#include <gtest/gtest.h>

namespace nimbrook {
namespace {

const QRect screen(0, 0, 1280, 800);
const QSize panel(240, 260);

QRect placed(const QRect& anchor, const QRect& available) {
    return QRect(panelPosition(anchor, panel, available), panel);
}

TEST(PanelPlacementTest, ThePanelOpensBesideTheBarAtTheIconWhicheverEdgeTheBarIsOn) {
    // Plasma's bar along the bottom, 60 px deep: the icon's centre 30 px up.
    const QPoint bottomIcon(1108, 769);
    const QRect aboveBottom = areaBesideBar(screen, bottomIcon);
    EXPECT_EQ(aboveBottom, QRect(0, 0, 1280, 739));
    const QRect atBottom = placed(QRect(bottomIcon, QSize(1, 1)), aboveBottom);
    EXPECT_EQ(atBottom.bottom(), 738) << "over the bar, or away from it";
    EXPECT_EQ(atBottom.center().x(), 1108 - 1);
    const QRect inTheCorner = placed(QRect(1270, 769, 1, 1), areaBesideBar(screen, {1270, 769}));
    EXPECT_GE(inTheCorner.right(), 1250);
    EXPECT_LE(inTheCorner.right(), 1279);
    EXPECT_EQ(inTheCorner.bottom(), 738);

    // A bar along the top (waybar, 26 px): under it, centred on the icon.
    const QRect belowTop = areaBesideBar(screen, QPoint(600, 13));
    EXPECT_EQ(belowTop.top(), 27);
    const QRect atTop = placed(QRect(600, 13, 1, 1), belowTop);
    EXPECT_EQ(atTop.top(), 27);
    EXPECT_EQ(atTop.center().x(), 600 - 1);

    // Bars along the sides: the panel beside them.
    EXPECT_EQ(areaBesideBar(screen, QPoint(20, 400)).left(), 41);
    EXPECT_EQ(areaBesideBar(screen, QPoint(1259, 400)).right(), 1279 - 41);
    EXPECT_GE(placed(QRect(20, 400, 1, 1), areaBesideBar(screen, QPoint(20, 400))).left(), 41);
}

TEST(PanelPlacementTest, AClickAwayFromEveryEdgeOrOnAnotherScreenLeavesTheScreenWhole) {
    EXPECT_EQ(areaBesideBar(screen, QPoint(640, 400)), screen);
    EXPECT_EQ(areaBesideBar(screen, QPoint(640, 800 - 81)), screen);
    EXPECT_EQ(areaBesideBar(screen, QPoint(2000, 790)), screen);
    // The second of two screens side by side, its bar at its bottom.
    const QRect second(1280, 0, 1920, 1080);
    const QRect aboveItsBar = areaBesideBar(second, QPoint(3000, 1060));
    EXPECT_EQ(aboveItsBar, QRect(1280, 0, 1920, 1080 - 39));
    EXPECT_EQ(placed(QRect(3000, 1060, 1, 1), aboveItsBar).bottom(), aboveItsBar.bottom());
}

TEST(PanelPlacementTest, APanelLargerThanTheRoomStartsAtItsTopLeft) {
    const QRect small(100, 50, 200, 200);
    EXPECT_EQ(panelPosition(QRect(150, 100, 1, 1), panel, small), QPoint(100, 50));
}

} // namespace
} // namespace nimbrook

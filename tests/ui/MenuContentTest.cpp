#include "ui/MenuContent.h"
#include "ui/FooterButton.h"
#include "ui/MacRow.h"
#include "ui/MenuActions.h"
#include "ui/Style.h"

#include "DiscoveryFixture.h"
#include "TestHelpers.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QTest>

namespace nimbrook::testing {
namespace {

// A report of `count` online Macs, "Mac 1" at 100.64.0.1 and so on.
QByteArray report(int count, const char* state = "Running") {
    QStringList names;
    for (int i = 1; i <= count; ++i)
        names.append(QStringLiteral("Mac %1").arg(i));
    return statusReport(names, state);
}

class MenuContentTest : public DiscoveryFixture {
protected:
    MenuContentTest() {
        installTool();
        actions = std::make_unique<MenuActions>(
            *discovery, [this] { ++updateChecks; },
            [this] {
                terminatedWhileStarted = discovery->hasStarted();
                ++terminations;
            });
        menu = std::make_unique<MenuContent>(*discovery, *actions);
    }

    [[nodiscard]] ::testing::AssertionResult showActive() {
        menu->show();
        menu->activateWindow();
#if QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
        // Before 6.5 the offscreen platform made no window active by itself.
        QApplication::setActiveWindow(menu.get());
#endif
        if (!QTest::qWaitForWindowActive(menu.get()))
            return ::testing::AssertionFailure() << "the panel never became active";
        return ::testing::AssertionSuccess();
    }

    QStringList rowNames() const {
        QStringList names;
        for (MacRow* row : menu->rows())
            names.append(row->nameText());
        return names;
    }

    std::unique_ptr<MenuActions> actions;
    std::unique_ptr<MenuContent> menu;
    int updateChecks = 0;
    int terminations = 0;
    bool terminatedWhileStarted = true;
};

TEST_F(MenuContentTest, TheStatusLineNamesEachTailscaleState) {
    EXPECT_EQ(menu->statusText(), QStringLiteral("Searching\u2026"));
    startWith(report(0));
    EXPECT_EQ(menu->statusText(), QStringLiteral("No other Macs found"));
    scheduler.advance(std::chrono::seconds(5));
    tools.latest().finish(QByteArray());
    scheduler.runPending();
    EXPECT_EQ(menu->statusText(), QStringLiteral("Tailscale isn\u2019t running"));
    scheduler.advance(std::chrono::seconds(5));
    tools.latest().finish(report(0, "NeedsLogin"));
    scheduler.runPending();
    EXPECT_EQ(menu->statusText(), QStringLiteral("Sign in to Tailscale"));
    files.executables.clear();
    scheduler.advance(std::chrono::seconds(5));
    EXPECT_EQ(menu->statusText(), QStringLiteral("Tailscale not found \u2014 local network only"));
}

TEST_F(MenuContentTest, RowsOpenByClickAndTheFirstNineByCtrlDigit) {
    startWith(report(12));
    ASSERT_TRUE(showActive());
    const QList<MacRow*> rows = menu->rows();
    ASSERT_EQ(rows.size(), 12);
    EXPECT_EQ(menu->statusText(), QString()); // no status line above machines
    EXPECT_EQ(rowNames().mid(0, 3), (QStringList{QStringLiteral("Mac 1"), QStringLiteral("Mac 2"),
                                                 QStringLiteral("Mac 3")}));
    EXPECT_EQ(rows[0]->subtitleText(), QStringLiteral("Tailscale \u00B7 100.64.0.1"));
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(rows[i]->hintText(), i < 9 ? QStringLiteral("Ctrl+%1").arg(i + 1) : QString());
    QTest::keyClick(menu.get(), Qt::Key_2, Qt::ControlModifier);
    QTest::mouseClick(rows[10], Qt::LeftButton);
    EXPECT_EQ(urlOpener.opened, (QList<QUrl>{QUrl(QStringLiteral("vnc://100.64.0.2")),
                                             QUrl(QStringLiteral("vnc://100.64.0.11"))}));
}

TEST_F(MenuContentTest, RefreshingIsDisabledAtHalfOpacityAndIgnoresClicks) {
    // Stopped, Refresh only polls Tailscale.
    menu->refresh();
    EXPECT_EQ(tools.runCount(), 1);
    EXPECT_EQ(browsing.createdCount(), 0);
    discovery->start();
    ASSERT_TRUE(discovery->isPolling());
    FooterButton* refresh = menu->refreshButton();
    EXPECT_EQ(refresh->title(), QStringLiteral("Refreshing\u2026"));
    EXPECT_FALSE(refresh->isActive());
    EXPECT_DOUBLE_EQ(refresh->opacity(), 0.5);
    ASSERT_TRUE(showActive());
    QTest::mouseClick(refresh, Qt::LeftButton);
    EXPECT_EQ(browsing.createdCount(), 1);
    EXPECT_EQ(tools.runCount(), 1);

    tools.latest().finish(report(0));
    scheduler.runPending();
    EXPECT_EQ(refresh->title(), QStringLiteral("Refresh"));
    EXPECT_DOUBLE_EQ(refresh->opacity(), 1.0);
    QTest::mouseClick(refresh, Qt::LeftButton);
    EXPECT_EQ(tools.runCount(), 2);
    EXPECT_EQ(browsing.createdCount(), 2); // forgotten, then browsing anew
    EXPECT_EQ(browsing.liveCount(), 1);
}

TEST_F(MenuContentTest, CheckForUpdatesRunsTheActionQuitStopsDiscoveryFirst) {
    startWith(report(1));
    ASSERT_TRUE(showActive());
    QTest::mouseClick(menu->updatesButton(), Qt::LeftButton);
    QTest::mouseClick(menu->updatesButton(), Qt::LeftButton);
    EXPECT_EQ(updateChecks, 2);
    QTest::mouseClick(menu->quitButton(), Qt::LeftButton);
    EXPECT_EQ(terminations, 1);
    EXPECT_FALSE(terminatedWhileStarted);
    EXPECT_TRUE(browsing.latest().cancelled);
}

TEST_F(MenuContentTest, NamesAreShownWholeAsTheirExactCharactersAndThePanelStays240Wide) {
    const QString markup = QStringLiteral("<b>Studio</b> &amp;");
    const QString longName(250, u'W');
    startWith(statusReport({markup, longName}));
    menu->show();
    EXPECT_EQ(rowNames(), (QStringList{markup, longName})); // never shortened, only wrapped
    for (const QLabel* label : menu->findChildren<QLabel*>())
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
    EXPECT_EQ(menu->width(), 240);
    EXPECT_LE(menu->rows().last()->geometry().right(), 240);
}

TEST_F(MenuContentTest, HoverSurvivesReordering) {
    startWith(report(3));
    ASSERT_TRUE(showActive());
    MacRow* third = menu->rows()[2];
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(third, &enter);
    ASSERT_TRUE(third->isHovering());

    // The same machine moves to the top (it alone stays online).
    scheduler.advance(std::chrono::seconds(5));
    tools.latest().finish(
        statusReport({QStringLiteral("Mac 1"), QStringLiteral("Mac 2"), QStringLiteral("Mac 3")},
                     "Running", {false, false, true}));
    scheduler.runPending();
    ASSERT_EQ(menu->rows().first(), third);
    EXPECT_TRUE(third->isHovering());
    EXPECT_EQ(third->hintText(), QStringLiteral("Ctrl+1"));
}

TEST(MacRowTest, DotSubtitleAndHint) {
    const RemoteMac offline{
        QStringLiteral("x"),       QStringLiteral("x"), QStringLiteral("X"), QString(), false,
        RemoteMac::Source::bonjour};
    MacRow row(offline, 9);
    EXPECT_EQ(row.subtitleText(), QStringLiteral("Local network \u00B7 "));
    EXPECT_EQ(row.hintText(), QString());
    EXPECT_NEAR(row.dotColor().alphaF(), 0.62 * 0.4, 0.01);

    RemoteMac online = offline;
    online.online = true;
    online.source = RemoteMac::Source::tailscale;
    row.setMac(online, 8);
    EXPECT_EQ(row.dotColor(), QColor(0x34, 0xC7, 0x59));
    EXPECT_EQ(row.hintText(), QStringLiteral("Ctrl+9"));
}

TEST(FooterButtonTest, TheIconFollowsAPaletteChange) {
    FooterButton button(QStringLiteral("Quit"), QStringLiteral("power"), [] {});
    const auto darkest = [](const QImage& drawn) {
        const QImage image = drawn.convertToFormat(QImage::Format_ARGB32); // not premultiplied
        int value = 255;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(image.pixel(x, y)) > 128)
                    value = std::min(value, qGray(image.pixel(x, y)));
            }
        }
        return value;
    };
    QPalette dark = button.palette();
    dark.setColor(QPalette::WindowText, Qt::white);
    button.setPalette(dark);
    EXPECT_GT(darkest(button.iconImage()), 200); // light on a dark theme
    QPalette light = button.palette();
    light.setColor(QPalette::WindowText, Qt::black);
    button.setPalette(light);
    EXPECT_LT(darkest(button.iconImage()), 60);
}

TEST(FooterButtonTest, ADisabledButtonNeverGainsAHighlight) {
    int clicks = 0;
    FooterButton button(QStringLiteral("Refresh"), QStringLiteral("refresh"), [&] { ++clicks; });
    button.resize(240, 24);
    button.setActive(false);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&button, &enter);
    EXPECT_FALSE(button.isHovering());
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 0);

    button.setActive(true);
    QApplication::sendEvent(&button, &enter);
    EXPECT_TRUE(button.isHovering());
    button.setActive(false); // stays highlighted until the pointer leaves
    EXPECT_TRUE(button.isHovering());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    EXPECT_FALSE(button.isHovering());
}

TEST_F(MenuContentTest, ARowMenuPinsAndChoosesWhatToAnnounce) {
    startWith(report(3));
    ASSERT_EQ(rowNames().last(), QStringLiteral("Mac 3"));
    QMenu* menu3 = menu->rowMenu(menu->rows().last()->mac());
    const QList<QAction*> items = menu3->actions();
    ASSERT_EQ(items.size(), 5);
    EXPECT_EQ(items[0]->text(), QStringLiteral("Copy Address"));
    EXPECT_EQ(items[1]->text(), QStringLiteral("Copy Name"));
    EXPECT_TRUE(items[2]->isSeparator());
    EXPECT_EQ(items[3]->text(), QStringLiteral("Notify When Online"));
    EXPECT_TRUE(items[3]->isCheckable());
    EXPECT_FALSE(items[3]->isChecked());
    EXPECT_EQ(items[4]->text(), QStringLiteral("Pin to Top"));

    items[0]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("100.64.0.3"));
    items[1]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Mac 3"));

    items[4]->trigger();
    EXPECT_EQ(rowNames().first(), QStringLiteral("Mac 3"));
    EXPECT_EQ(menu->rowMenu(menu->rows().first()->mac())->actions()[4]->text(),
              QStringLiteral("Unpin"));
    items[3]->trigger();
    EXPECT_EQ(defaults.lists.value(MachinePreferences::notifyKey),
              QStringList{QStringLiteral("mac-3")});
}

TEST_F(MenuContentTest, HeaderAndEmptyListSayComputersWhenOtherSystemsAreListed) {
    startWith(report(0));
    QLabel* header = menu->findChildren<QLabel*>().first();
    EXPECT_EQ(header->text(), QStringLiteral("My Macs"));
    EXPECT_EQ(menu->statusText(), QStringLiteral("No other Macs found"));
    defaults.lists.insert(MachinePreferences::operatingSystemsKey,
                          {QStringLiteral("macOS"), QStringLiteral("windows")});
    discovery->preferences().reload();
    EXPECT_EQ(header->text(), QStringLiteral("My Computers"));
    EXPECT_EQ(menu->statusText(), QStringLiteral("No other computers found"));
}

// A desktop turning dark while the panel exists: the header, the status line
// and the rows take the new colours, none keeps the light ones.
TEST_F(MenuContentTest, ColoursFollowThePaletteWhileRunning) {
    startWith(report(1));
    const QPalette before = QApplication::palette();
    QApplication::setPalette(style::darkPalette());
    QCoreApplication::processEvents();
    QLabel* header = menu->findChildren<QLabel*>().first();
    const QColor text = style::darkPalette().color(QPalette::WindowText);
    EXPECT_EQ(header->palette().color(QPalette::WindowText).rgb(), text.rgb());
    EXPECT_EQ(menu->rows().first()->palette().color(QPalette::WindowText), text);
    QApplication::setPalette(style::lightPalette());
    QCoreApplication::processEvents();
    EXPECT_EQ(header->palette().color(QPalette::WindowText).rgb(),
              style::lightPalette().color(QPalette::WindowText).rgb());
    QApplication::setPalette(before);
}

TEST_F(MenuContentTest, TypingFiltersByTheNameRulesAndByAddress) {
    startWith(statusReport(
        {QStringLiteral("Café Air"), QStringLiteral("Kim’s Mac mini"), QStringLiteral("Studio")}));
    ASSERT_TRUE(showActive());
    QTest::keyClicks(menu.get(), QStringLiteral("CAFE-AIR"));
    EXPECT_EQ(menu->filterText(), QStringLiteral("CAFE-AIR"));
    EXPECT_EQ(rowNames(), QStringList{QStringLiteral("Café Air")});
    EXPECT_EQ(menu->rows().first()->hintText(), QStringLiteral("Ctrl+1")); // hints follow
    QTest::keyClick(menu.get(), Qt::Key_2, Qt::ControlModifier);           // no such row
    EXPECT_TRUE(urlOpener.opened.isEmpty());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(menu->filterText().isEmpty());
    EXPECT_EQ(rowNames().size(), 3);
    QTest::keyClicks(menu.get(), QStringLiteral("kims mac"));
    EXPECT_EQ(rowNames(), QStringList{QStringLiteral("Kim’s Mac mini")});
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTest::keyClicks(menu.get(), QStringLiteral("64.0.3"));
    EXPECT_EQ(rowNames(), QStringList{QStringLiteral("Studio")});

    // Enter opens the first machine shown; Ctrl+1 too.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_EQ(urlOpener.opened.size(), 1);
    EXPECT_EQ(urlOpener.opened.first().toString(), QStringLiteral("vnc://100.64.0.3"));

    // The next opening starts afresh: what was typed is gone.
    const QString typed = menu->filterText();
    menu->hide();
    ASSERT_TRUE(showActive());
    EXPECT_FALSE(typed.isEmpty());
    EXPECT_EQ(menu->filterText(), QString());
    EXPECT_EQ(menu->shownMacs(), discovery->macs());
    QTest::keyClicks(QApplication::focusWidget(), typed);

    bool closeAsked = false;
    QObject::connect(menu.get(), &MenuContent::closeRequested, [&] { closeAsked = true; });
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(closeAsked);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(closeAsked);
}

TEST_F(MenuContentTest, TheKeyboardWalksRowsAndCommands) {
    startWith(report(3));
    ASSERT_TRUE(showActive());
    EXPECT_EQ(menu->focusIndex(), 0); // the first row when the panel opens,
    EXPECT_TRUE(menu->rows()[0]->hasFocus());
    EXPECT_FALSE(menu->rows()[0]->isFocusShown()); // drawn only once the keyboard moves it
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_TRUE(menu->rows()[1]->isFocusShown());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(menu->focusIndex(), 2);
    EXPECT_TRUE(menu->rows()[2]->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("100.64.0.3"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_EQ(urlOpener.opened.size(), 1);
    EXPECT_EQ(urlOpener.opened.first().toString(), QStringLiteral("vnc://100.64.0.3"));

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    EXPECT_TRUE(menu->quitButton()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_TRUE(menu->updatesButton()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(updateChecks, 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
    EXPECT_EQ(menu->focusIndex(), 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(menu->focusIndex(), 0);
}

TEST_F(MenuContentTest, ALongListScrollsWithinTheScreen) {
    startWith(report(200));
    ASSERT_TRUE(showActive());
    menu->setAvailableHeight(600);
    EXPECT_LE(menu->height(), 600 - MenuContent::screenMargin);
    EXPECT_LT(menu->rows().size(), 30);
    EXPECT_EQ(menu->shownMacs().size(), 200);
    EXPECT_TRUE(menu->quitButton()->isVisible()); // the commands stay
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(menu->focusIndex(), 199);
    ASSERT_TRUE(QApplication::focusWidget());
    auto* row = qobject_cast<MacRow*>(QApplication::focusWidget());
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->nameText(), menu->shownMacs().last().name);
    EXPECT_TRUE(row->isVisible());
}

TEST_F(MenuContentTest, RowsAndCommandsArePushButtonsToScreenReaders) {
    startWith(report(2));
    ASSERT_TRUE(showActive());
    QAccessibleInterface* row = QAccessible::queryAccessibleInterface(menu->rows()[1]);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->role(), QAccessible::Button);
    EXPECT_EQ(row->text(QAccessible::Name), QStringLiteral("Mac 2"));
    EXPECT_EQ(row->text(QAccessible::Description), QStringLiteral("Tailscale · 100.64.0.2"));
    row->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_EQ(urlOpener.opened.size(), 1);
    EXPECT_EQ(urlOpener.opened.first().toString(), QStringLiteral("vnc://100.64.0.2"));

    QAccessibleInterface* quit = QAccessible::queryAccessibleInterface(menu->quitButton());
    EXPECT_EQ(quit->role(), QAccessible::Button);
    EXPECT_EQ(quit->text(QAccessible::Name), QStringLiteral("Quit"));
    quit->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(terminations, 1);
}

} // namespace
} // namespace nimbrook::testing

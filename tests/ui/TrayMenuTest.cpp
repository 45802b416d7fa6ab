#include "ui/TrayMenu.h"
#include "ui/MenuContent.h"

#include "../discovery/DiscoveryFixture.h"
#include "TestHelpers.h"

#include <QApplication>
#include <QBoxLayout>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>

namespace nimbrook::testing {
namespace {

QByteArray threeMacs() {
    return statusReport({QStringLiteral("Ann & Co"), QStringLiteral("Bob"), QStringLiteral("Cy")},
                        "Running", {true, true, false});
}

class TrayMenuTest : public DiscoveryFixture {
protected:
    TrayMenuTest() {
        installTool();
        menu = std::make_unique<TrayMenu>(
            *discovery, [this] { ++updateChecks; }, [this] { ++quits; });
    }

    // What a host does before it shows the menu; the first poll then answers.
    void openWithThreeMacs() {
        emit menu->aboutToShow();
        tools.latest().finish(threeMacs());
        scheduler.runPending();
        QCoreApplication::processEvents();
    }

    QStringList labels() const {
        QStringList texts;
        for (const QAction* action : menu->actions())
            texts.append(action->isSeparator() ? QStringLiteral("----") : action->text());
        return texts;
    }
    QAction* action(const QString& text) const {
        for (QAction* candidate : menu->actions()) {
            if (candidate->text() == text)
                return candidate;
        }
        return nullptr;
    }

    std::unique_ptr<TrayMenu> menu;
    int updateChecks = 0;
    int quits = 0;
};

TEST_F(TrayMenuTest, ListsTheMachinesInPanelOrderThenTheCommands) {
    // Before anything is known: the status, disabled, and the commands.
    EXPECT_EQ(labels(),
              (QStringList{QStringLiteral("Searching\u2026"), QStringLiteral("----"),
                           QStringLiteral("Refresh"), QStringLiteral("Check for Updates\u2026"),
                           QStringLiteral("Quit")}));
    EXPECT_FALSE(menu->actions().first()->isEnabled());

    openWithThreeMacs();
    EXPECT_TRUE(discovery->hasStarted());
    const QStringList shown = labels();
    ASSERT_EQ(shown.size(), 9); // three machines, two submenus, a separator, three commands
    // "&" doubled, or it would underline the next letter.
    EXPECT_EQ(shown[0], QStringLiteral("Ann && Co \u2014 Tailscale \u00B7 100.64.0.1"));
    EXPECT_TRUE(shown[2].startsWith(QStringLiteral("Cy \u2014"))); // offline last
    EXPECT_EQ(menu->actions()[0]->shortcut(), QKeySequence(QStringLiteral("Ctrl+1")));
    EXPECT_EQ(menu->actions()[2]->shortcut(), QKeySequence(QStringLiteral("Ctrl+3")));
}

TEST_F(TrayMenuTest, ItemsDoWhatThePanelDoes) {
    openWithThreeMacs();

    bool closedFirst = false;
    QObject::connect(menu.get(), &TrayMenu::choosing,
                     [&] { closedFirst = urlOpener.opened.isEmpty(); });
    menu->actions()[1]->trigger();
    ASSERT_EQ(urlOpener.opened.size(), 1);
    EXPECT_EQ(urlOpener.opened.first().toString(), QStringLiteral("vnc://100.64.0.2"));
    EXPECT_TRUE(closedFirst);

    // Refresh polls at once and is disabled while it does.
    const int polls = tools.runCount();
    action(QStringLiteral("Refresh"))->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(tools.runCount(), polls + 1);
    ASSERT_NE(action(QStringLiteral("Refreshing\u2026")), nullptr);
    EXPECT_FALSE(action(QStringLiteral("Refreshing\u2026"))->isEnabled());

    action(QStringLiteral("Check for Updates\u2026"))->trigger();
    EXPECT_EQ(updateChecks, 1);
    action(QStringLiteral("Quit"))->trigger();
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(discovery->hasStarted());
}

TEST_F(TrayMenuTest, ItStaysCurrentOnlyWhileOpen) {
    openWithThreeMacs();
    emit menu->aboutToHide();
    scheduler.advance(std::chrono::seconds(5));
    tools.latest().finish(R"({"BackendState":"Running"})");
    scheduler.runPending();
    QCoreApplication::processEvents();
    EXPECT_EQ(labels().size(), 9); // closed: not rebuilt
    emit menu->aboutToShow();
    EXPECT_EQ(labels().first(), QStringLiteral("No other Macs found"));
}

// "Tailscale not found — local network only" is wider than the column in
// common fonts: it must wrap, never be cut.
TEST_F(TrayMenuTest, TheStatusLineWrapsWithinTheColumnInCommonFonts) {
    files.executables.clear();
    // Held as the panel holds it: a fixed-size layout, which goes by size hints.
    QWidget panel;
    auto* column = new QVBoxLayout(&panel);
    column->setSizeConstraint(QLayout::SetFixedSize);
    column->setContentsMargins(0, 0, 0, 0);
    auto* held = new MenuContent(*discovery, {}, {});
    column->addWidget(held);
    MenuContent& content = *held;
    panel.show();
    discovery->start();
    scheduler.runPending();
    ASSERT_EQ(content.statusText(),
              QStringLiteral("Tailscale not found \u2014 local network only"));
    QLabel* status = nullptr;
    for (QLabel* label : content.findChildren<QLabel*>()) {
        if (label->text() == content.statusText())
            status = label;
    }
    ASSERT_NE(status, nullptr);
    int tried = 0;
    for (const QString& family : {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans")}) {
        if (!QFontDatabase::hasFamily(family))
            continue;
        ++tried;
        for (const int pixelSize : {12, 15}) { // the design's size, and at 125 %
            QFont font(family);
            font.setPixelSize(pixelSize);
            status->setFont(font);
            panel.layout()->activate();
            EXPECT_EQ(content.width(), MenuContent::panelWidth);
            EXPECT_LE(status->geometry().right(), MenuContent::panelWidth) << family.toStdString();
            // Either the line fits, or it wraps into a label tall enough for all of it.
            const bool fits = QFontMetrics(font).horizontalAdvance(status->text()) <=
                              status->contentsRect().width();
            const bool wraps =
                status->wordWrap() && status->height() >= status->heightForWidth(status->width());
            EXPECT_TRUE(fits || wraps)
                << family.toStdString() << " " << pixelSize << " height " << status->height()
                << " needs " << status->heightForWidth(status->width());
        }
    }
    if (tried == 0)
        GTEST_SKIP() << "neither DejaVu Sans nor Noto Sans is installed";
}

} // namespace
} // namespace nimbrook::testing

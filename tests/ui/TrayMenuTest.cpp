#include "ui/TrayMenu.h"
#include "platform/linux/DBusMenuExporter.h"
#include "ui/MenuActions.h"
#include "ui/MenuContent.h"
#include "ui/Style.h"

#include "DiscoveryFixture.h"
#include "TestHelpers.h"

#include <QApplication>
#include <QBoxLayout>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QSignalSpy>

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
        actions = std::make_unique<MenuActions>(
            *discovery, [this] { ++updateChecks; }, [this] { ++quits; });
        menu = std::make_unique<TrayMenu>(*discovery, *actions);
        exporter = std::make_unique<DBusMenuExporter>(menu.get());
    }

    // What a host does before it shows the menu; the first poll then answers.
    void openWithThreeMacs() {
        EXPECT_FALSE(exporter->AboutToShow(0)); // nothing changes at once
        tools.latest().finish(threeMacs());
        settle();
    }

    void poll(const QByteArray& report) {
        scheduler.advance(std::chrono::seconds(5));
        tools.latest().finish(report);
        settle();
    }

    void settle() {
        scheduler.runPending();
        QCoreApplication::processEvents();
    }

    QStringList labels() const {
        QStringList texts;
        for (const QAction* action : menu->actions()) {
            if (action->isVisible())
                texts.append(action->isSeparator() ? QStringLiteral("----") : action->text());
        }
        return texts;
    }
    QAction* action(const QString& text) const {
        for (QAction* candidate : menu->actions()) {
            if (candidate->text() == text)
                return candidate;
        }
        return nullptr;
    }

    // The exported top level: each entry's id and label, as a host reads them.
    QList<std::pair<int, QString>> exported(uint* revision = nullptr) {
        dbusmenu::LayoutItem layout;
        const uint now = exporter->GetLayout(0, 1, {QStringLiteral("label")}, layout);
        if (revision)
            *revision = now;
        QList<std::pair<int, QString>> entries;
        for (const dbusmenu::LayoutItem& child : layout.children)
            entries.append({child.id, child.properties.value(QStringLiteral("label")).toString()});
        return entries;
    }
    int exportedId(const QString& labelStart) {
        for (const auto& [id, label] : exported()) {
            if (label.startsWith(labelStart))
                return id;
        }
        return -1;
    }

    std::unique_ptr<MenuActions> actions;
    std::unique_ptr<TrayMenu> menu;
    std::unique_ptr<DBusMenuExporter> exporter;
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
    const QList<QAction*> machines = actions->machines();
    EXPECT_EQ(machines[0]->shortcut(), QKeySequence(QStringLiteral("Ctrl+1")));
    EXPECT_EQ(machines[2]->shortcut(), QKeySequence(QStringLiteral("Ctrl+3")));
    // Online at a glance: the dot of the panel as each entry's icon.
    EXPECT_EQ(machines[0]->icon().cacheKey(), style::dotIcon(true).cacheKey());
    EXPECT_EQ(machines[2]->icon().cacheKey(), style::dotIcon(false).cacheKey());
    // A host reads "&" as itself, with the dot as a picture.
    const QVariantMap first = exporter->properties(machines[0]);
    EXPECT_EQ(first.value(QStringLiteral("label")).toString(),
              QStringLiteral("Ann & Co \u2014 Tailscale \u00B7 100.64.0.1"));
    EXPECT_TRUE(first.value(QStringLiteral("icon-data")).toByteArray().startsWith("\x89PNG"));
    EXPECT_EQ(first.value(QStringLiteral("shortcut")).value<dbusmenu::Shortcut>(),
              (dbusmenu::Shortcut{{QStringLiteral("Control"), QStringLiteral("1")}}));
}

// However many machines there are, the menu fits the screen: the first ones
// (pinned and online first), then "Show All Machines…"; their toggles only.
TEST_F(TrayMenuTest, AMenuOfManyListsTheFirstMachinesThenShowAll) {
    QStringList names;
    for (int i = 1; i <= 200; ++i)
        names.append(QStringLiteral("Mac %1").arg(i, 3, 10, QLatin1Char('0')));
    defaults.lists.insert(MachinePreferences::pinnedKey, {QStringLiteral("mac-150")});
    exporter->AboutToShow(0);
    tools.latest().finish(statusReport(names));
    settle();

    const QStringList shown = labels();
    const int machines = MenuActions::menuMachines;
    ASSERT_EQ(shown.size(), machines + 7) << shown.join(u'|').toStdString();
    EXPECT_TRUE(shown[0].startsWith(QStringLiteral("Mac 150 \u2014"))); // pinned first
    EXPECT_TRUE(shown[1].startsWith(QStringLiteral("Mac 001 \u2014")));
    EXPECT_EQ(shown[machines], QStringLiteral("Show All Machines\u2026"));
    EXPECT_EQ(actions->notifyMenu()->actions().size(), machines);
    EXPECT_EQ(actions->pinMenu()->actions().size(), machines);
    EXPECT_TRUE(actions->pinMenu()->actions().first()->isChecked());
    int showAll = 0;
    QObject::connect(actions->showAll(), &QAction::triggered, [&] { ++showAll; });
    action(QStringLiteral("Show All Machines\u2026"))->trigger();
    EXPECT_EQ(showAll, 1);

    // Down to a few: all of them, and no "Show All Machines…".
    poll(threeMacs());
    EXPECT_EQ(labels().size(), 9);
    EXPECT_FALSE(actions->showAll()->isVisible());
}

TEST_F(TrayMenuTest, ItemsDoWhatThePanelDoes) {
    openWithThreeMacs();

    bool closedFirst = false;
    QObject::connect(actions.get(), &MenuActions::choosing,
                     [&] { closedFirst = urlOpener.opened.isEmpty(); });
    actions->machines()[1]->trigger();
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

// A host with the menu open must see nothing of a poll that changed nothing,
// and only the entry of a machine that changed: a rebuilt menu shuts open
// submenus, jumps in size and loses the click on its way.
TEST_F(TrayMenuTest, TheExportedMenuChangesOnlyWhereTheListDid) {
    openWithThreeMacs();
    uint revision = 0;
    const auto before = exported(&revision);
    QSignalSpy layouts(exporter.get(), &DBusMenuExporter::LayoutUpdated);
    QSignalSpy properties(exporter.get(), &DBusMenuExporter::ItemsPropertiesUpdated);
    const auto machineIdsIn = [](const QSignalSpy& spy, const QList<int>& machineIds) {
        QList<int> touched;
        for (const QList<QVariant>& signal : spy) {
            for (const dbusmenu::Item& item : signal[0].value<dbusmenu::ItemList>()) {
                if (machineIds.contains(item.id))
                    touched.append(item.id);
            }
        }
        return touched;
    };
    const QList<int> machineIds{exportedId(QStringLiteral("Ann")),
                                exportedId(QStringLiteral("Bob")),
                                exportedId(QStringLiteral("Cy"))};

    for (int unchanged = 0; unchanged < 4; ++unchanged)
        poll(threeMacs());
    uint after = 0;
    EXPECT_EQ(exported(&after), before);
    EXPECT_EQ(after, revision);
    EXPECT_EQ(layouts.count(), 0);
    EXPECT_EQ(machineIdsIn(properties, machineIds), QList<int>());

    // Cy comes online: its entry alone changes (its dot), in place.
    poll(statusReport({QStringLiteral("Ann & Co"), QStringLiteral("Bob"), QStringLiteral("Cy")},
                      "Running", {true, true, true}));
    EXPECT_EQ(layouts.count(), 0);
    EXPECT_EQ(machineIdsIn(properties, machineIds), QList<int>{machineIds[2]});
    EXPECT_EQ(exported(), before);
}

TEST_F(TrayMenuTest, AClickOnItsWayReachesItsMachineWhateverTheListDid) {
    openWithThreeMacs();
    const int bob = exportedId(QStringLiteral("Bob"));
    const int cy = exportedId(QStringLiteral("Cy"));
    ASSERT_GT(bob, 0);
    uint revision = 0;
    exported(&revision);
    QSignalSpy layouts(exporter.get(), &DBusMenuExporter::LayoutUpdated);

    // A poll lands between the host's layout and the user's click: Cy goes.
    // Bob keeps his id; the layout says what changed, once.
    poll(statusReport({QStringLiteral("Ann & Co"), QStringLiteral("Bob")}));
    EXPECT_EQ(exportedId(QStringLiteral("Bob")), bob);
    ASSERT_EQ(layouts.count(), 1);
    uint now = 0;
    exported(&now);
    EXPECT_GT(now, revision);
    EXPECT_EQ(layouts.first()[0].toUInt(), now);

    exporter->Event(bob, QStringLiteral("clicked"), QDBusVariant(QString()), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(urlOpener.opened, QList<QUrl>{QUrl(QStringLiteral("vnc://100.64.0.2"))});
    // Cy's entry is gone: a click on it is refused, not taken for another's.
    const QList<int> refused =
        exporter->EventGroup({{cy, QStringLiteral("clicked"), QDBusVariant(QString()), 0},
                              {bob, QStringLiteral("hovered"), QDBusVariant(QString()), 0}});
    EXPECT_EQ(refused, QList<int>{cy});
    QCoreApplication::processEvents();
    EXPECT_EQ(urlOpener.opened.size(), 1);
}

// Hosts ask for the same layout again and again; what they get is the menu
// as it is now, however often they asked before. A burst of one event, or
// one entry asked for many times, is handled once.
TEST_F(TrayMenuTest, RepeatedQuestionsAndEventsCostOnceAndAnswerWhatIsNow) {
    openWithThreeMacs();
    const int cy = exportedId(QStringLiteral("Cy"));
    const int bob = exportedId(QStringLiteral("Bob"));
    const auto iconOfCy = [&] {
        dbusmenu::LayoutItem layout;
        exporter->GetLayout(0, -1, {}, layout);
        for (const dbusmenu::LayoutItem& child : std::as_const(layout.children)) {
            if (child.id == cy)
                return child.properties.value(QStringLiteral("icon-data")).toByteArray();
        }
        return QByteArray();
    };
    const QByteArray offline = iconOfCy();
    ASSERT_FALSE(offline.isEmpty());
    EXPECT_EQ(iconOfCy(), offline);
    poll(statusReport({QStringLiteral("Ann & Co"), QStringLiteral("Bob"), QStringLiteral("Cy")},
                      "Running", {true, true, true}));
    EXPECT_NE(iconOfCy(), offline);

    const dbusmenu::ItemList items = exporter->GetGroupProperties(
        QList<int>(1000, bob), QStringList(1000, QStringLiteral("nothing"))
                                   << QStringLiteral("label"));
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].properties.keys(), QStringList{QStringLiteral("label")});

    const QList<int> refused = exporter->EventGroup(
        dbusmenu::EventList(100, {bob, QStringLiteral("clicked"), QDBusVariant(QString()), 0}));
    EXPECT_TRUE(refused.isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(urlOpener.opened, QList<QUrl>{QUrl(QStringLiteral("vnc://100.64.0.2"))});
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
    auto* held = new MenuContent(*discovery, *actions);
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
        for (const int pixelSize : {12, 15}) { // the menu's own size, and at 125 %
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

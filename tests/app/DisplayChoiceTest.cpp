#include "app/DisplayChoice.h"

#include <gtest/gtest.h>

#include <QSet>

namespace nimbrook {
namespace {

using Outcome = DisplayChoice::Outcome;

// `listening`: the sockets something answers on.
DisplayChoice choose(const DisplayEnvironment& environment, const QSet<QString>& listening) {
    return chooseDisplay(environment,
                         [&listening](const QString& path) { return listening.contains(path); });
}

const QString runtime = QStringLiteral("/run/user/1000");
const QString wayland = QStringLiteral("/run/user/1000/wayland-0");
const QString x0 = QStringLiteral("/tmp/.X11-unix/X0");

TEST(DisplayChoiceTest, AGoneDisplayGivesWayToTheOtherOrToAMessageNeverToQtsAbort) {
    const DisplayEnvironment both{QStringLiteral("wayland-0"), runtime, QStringLiteral(":0"), {}};
    EXPECT_EQ(choose(both, {wayland, x0}).outcome, Outcome::asIs);
    EXPECT_EQ(choose(both, {x0}).outcome, Outcome::useX11);
    EXPECT_EQ(choose(both, {wayland}).outcome, Outcome::useWayland);

    const DisplayChoice waylandOnly =
        choose({QStringLiteral("wayland-9"), runtime, {}, {}}, {wayland, x0});
    EXPECT_EQ(waylandOnly.outcome, Outcome::none);
    EXPECT_EQ(waylandOnly.message,
              QStringLiteral("nimbrook: the Wayland display \"wayland-9\" (nothing answers at "
                             "/run/user/1000/wayland-9) is not there; use `nimbrook --list` to "
                             "list machines without one"));
    const DisplayChoice neither = choose(both, {});
    EXPECT_EQ(neither.outcome, Outcome::none);
    EXPECT_TRUE(neither.message.contains(QStringLiteral("X display \":0\"")))
        << neither.message.toStdString();
    EXPECT_EQ(choose({}, {}).outcome, Outcome::none);

    // Absolute names, screens, remote X and the user's own platform.
    EXPECT_EQ(choose({wayland, {}, {}, {}}, {wayland}).outcome, Outcome::useWayland);
    EXPECT_EQ(choose({wayland, {}, {}, QStringLiteral("wayland")}, {wayland}).outcome,
              Outcome::asIs);
    EXPECT_EQ(choose({{}, {}, QStringLiteral(":0.1"), {}}, {x0}).outcome, Outcome::asIs);
    EXPECT_EQ(choose({{}, {}, QStringLiteral("host:10"), {}}, {}).outcome, Outcome::asIs);
    EXPECT_EQ(choose({{}, {}, {}, QStringLiteral("offscreen")}, {}).outcome, Outcome::asIs);
    EXPECT_EQ(choose({QStringLiteral("wayland-0"), {}, QStringLiteral(":0"), {}}, {x0}).outcome,
              Outcome::useX11); // no runtime directory: Qt cannot find the socket either
}

TEST(DisplayChoiceTest, TheNoTrayMessageSpeaksOfGnomeOnlyOnGnome) {
    for (const QString& desktop : {QStringLiteral("GNOME"), QStringLiteral("ubuntu:GNOME")})
        EXPECT_TRUE(
            noTrayMessage(desktop).contains(QStringLiteral("install or enable the AppIndicator")));
    for (const QString& desktop : {QStringLiteral("KDE"), QString(), QStringLiteral("sway")})
        EXPECT_FALSE(noTrayMessage(desktop).contains(QStringLiteral("GNOME")));
}

} // namespace
} // namespace nimbrook

#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace nimbrook {
namespace {

CommandLine parse(QStringList arguments) {
    arguments.prepend(QStringLiteral("nimbrook"));
    return CommandLine::parse(arguments);
}

TEST(CommandLineTest, VersionAndHelp) {
    EXPECT_EQ(parse({QStringLiteral("--version")}).action, CommandLine::Action::showVersion);
    EXPECT_EQ(parse({QStringLiteral("--help")}).action, CommandLine::Action::showUsage);
    EXPECT_EQ(parse({QStringLiteral("-h")}).action, CommandLine::Action::showUsage);
}

TEST(CommandLineTest, AnythingElseIsInvalidWithAReason) {
    const CommandLine unknown = parse({QStringLiteral("--frobnicate")});
    EXPECT_EQ(unknown.action, CommandLine::Action::invalid);
    EXPECT_TRUE(unknown.error.contains(QStringLiteral("frobnicate"))) << unknown.error.toStdString();

    const CommandLine stray = parse({QStringLiteral("studio")});
    EXPECT_EQ(stray.action, CommandLine::Action::invalid);
    EXPECT_TRUE(stray.error.contains(QStringLiteral("studio")));

    EXPECT_EQ(parse({QStringLiteral("--version"), QStringLiteral("--help")}).action,
              CommandLine::Action::invalid);
    EXPECT_EQ(parse({QStringLiteral("--version=3")}).action, CommandLine::Action::invalid);
}

} // namespace
} // namespace nimbrook

#include "app/CommandLine.h"
#include "app/ManualPage.h"

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
    EXPECT_TRUE(unknown.error.contains(QStringLiteral("frobnicate")))
        << unknown.error.toStdString();

    const CommandLine stray = parse({QStringLiteral("studio")});
    EXPECT_EQ(stray.action, CommandLine::Action::invalid);
    EXPECT_TRUE(stray.error.contains(QStringLiteral("studio")));

    EXPECT_EQ(parse({QStringLiteral("--version"), QStringLiteral("--help")}).action,
              CommandLine::Action::invalid);
    EXPECT_EQ(parse({QStringLiteral("--version=3")}).action, CommandLine::Action::invalid);
}

TEST(CommandLineTest, ListTakesJsonAndAWait) {
    const CommandLine plain = parse({QStringLiteral("--list")});
    EXPECT_EQ(plain.action, CommandLine::Action::list);
    EXPECT_FALSE(plain.json);
    EXPECT_EQ(plain.listWait, std::chrono::seconds(3));

    const CommandLine full = parse({QStringLiteral("--list"), QStringLiteral("--json"),
                                    QStringLiteral("--wait"), QStringLiteral("1.5")});
    EXPECT_TRUE(full.json);
    EXPECT_EQ(full.listWait, std::chrono::milliseconds(1500));
    EXPECT_EQ(parse({QStringLiteral("--list"), QStringLiteral("--wait=0")}).listWait,
              std::chrono::milliseconds(0));
}

TEST(CommandLineTest, WatchTakesJsonButNoWait) {
    EXPECT_EQ(parse({QStringLiteral("--watch")}).action, CommandLine::Action::watch);
    EXPECT_TRUE(parse({QStringLiteral("--watch"), QStringLiteral("--json")}).json);
    EXPECT_EQ(
        parse({QStringLiteral("--watch"), QStringLiteral("--wait"), QStringLiteral("1")}).action,
        CommandLine::Action::invalid);
    EXPECT_EQ(parse({QStringLiteral("--watch"), QStringLiteral("--list")}).action,
              CommandLine::Action::invalid);
    EXPECT_EQ(parse({}).action, CommandLine::Action::runTray);
}

TEST(CommandLineTest, BadListOptionsAreRefusedWithAReason) {
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--list"), QStringLiteral("--wait"), QStringLiteral("soon")},
          QStringList{QStringLiteral("--list"), QStringLiteral("--wait"), QStringLiteral("-1")},
          QStringList{QStringLiteral("--list"), QStringLiteral("--wait"), QStringLiteral("nan")},
          QStringList{QStringLiteral("--list"), QStringLiteral("--wait"), QStringLiteral("1e9")},
          QStringList{QStringLiteral("--list"), QStringLiteral("--wait")},
          QStringList{QStringLiteral("--json")},
          QStringList{QStringLiteral("--list"), QStringLiteral("--version")}}) {
        const CommandLine result = parse(arguments);
        EXPECT_EQ(result.action, CommandLine::Action::invalid)
            << arguments.join(u' ').toStdString();
        EXPECT_FALSE(result.error.isEmpty());
    }
}

TEST(CommandLineTest, AutostartTakesOnOffOrStatus) {
    using Request = CommandLine::AutostartRequest;
    const std::pair<const char*, Request> requests[] = {
        {"on", Request::on}, {"off", Request::off}, {"status", Request::status}};
    for (const auto& [word, request] : requests) {
        const CommandLine result =
            parse({QStringLiteral("--autostart"), QString::fromLatin1(word)});
        EXPECT_EQ(result.action, CommandLine::Action::autostart) << word;
        EXPECT_EQ(result.autostart, request) << word;
    }
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--autostart")},
          QStringList{QStringLiteral("--autostart"), QStringLiteral("yes")},
          QStringList{QStringLiteral("--autostart=on"), QStringLiteral("--list")}}) {
        const CommandLine result = parse(arguments);
        EXPECT_EQ(result.action, CommandLine::Action::invalid)
            << arguments.join(u' ').toStdString();
        EXPECT_FALSE(result.error.isEmpty());
    }
}

TEST(CommandLineTest, HelpAndTheManualPageListTheSameOptions) {
    const QString usage = CommandLine::usage();
    const QString manual = manualPage(QStringLiteral("9.9"));
    for (const CommandLine::OptionHelp& option : CommandLine::options()) {
        EXPECT_TRUE(usage.contains(option.syntax)) << option.syntax.toStdString();
        const QString name = option.syntax.section(u' ', 0, 0);
        EXPECT_TRUE(manual.contains(QStringLiteral("\\fB") +
                                    QString(name).replace(u'-', QStringLiteral("\\-"))))
            << name.toStdString();
        // Each option the parser takes is one users can find.
        EXPECT_NE(parse({name}).error, QStringLiteral("Unknown option '%1'.").arg(name.mid(2)));
    }
    EXPECT_TRUE(manual.startsWith(QStringLiteral(".TH NIMBROOK 1")));
    EXPECT_TRUE(manual.contains(QStringLiteral("nimbrook 9.9")));
}

} // namespace
} // namespace nimbrook

#include "app/CommandLine.h"
#include "app/ManualPage.h"

#include <gtest/gtest.h>

namespace nimbrook {
namespace {

CommandLine parse(QStringList arguments) {
    arguments.prepend(QStringLiteral("nimbrook"));
    return CommandLine::parse(arguments);
}

CommandLine parse(const char* words) {
    return parse(QString::fromLatin1(words).split(u' ', Qt::SkipEmptyParts));
}

TEST(CommandLineTest, EachActionAndItsOptions) {
    using Action = CommandLine::Action;
    EXPECT_EQ(parse("").action, Action::runTray);
    EXPECT_EQ(parse("--version").action, Action::showVersion);
    EXPECT_EQ(parse("--help").action, Action::showUsage);
    EXPECT_EQ(parse("-h").action, Action::showUsage);

    const CommandLine list = parse("--list");
    EXPECT_EQ(list.action, Action::list);
    EXPECT_FALSE(list.json);
    EXPECT_EQ(list.listWait, std::chrono::seconds(3));
    const CommandLine full = parse("--list --json --wait 1.5");
    EXPECT_TRUE(full.json);
    EXPECT_EQ(full.listWait, std::chrono::milliseconds(1500));
    EXPECT_EQ(parse("--list --wait=0").listWait, std::chrono::milliseconds(0));

    EXPECT_EQ(parse("--watch").action, Action::watch);
    EXPECT_TRUE(parse("--watch --json").json);

    using Request = CommandLine::AutostartRequest;
    const std::pair<const char*, Request> requests[] = {{"--autostart on", Request::on},
                                                        {"--autostart off", Request::off},
                                                        {"--autostart status", Request::status}};
    for (const auto& [words, request] : requests) {
        EXPECT_EQ(parse(words).action, Action::autostart) << words;
        EXPECT_EQ(parse(words).autostart, request) << words;
    }
}

TEST(CommandLineTest, AnythingElseIsRefusedWithAReason) {
    for (const char* words :
         {"--frobnicate", "studio", "--version --help", "--version=3", "--list --wait soon",
          "--list --wait -1", "--list --wait nan", "--list --wait 1e9", "--list --wait", "--json",
          "--list --version", "--watch --wait 1", "--watch --list", "--autostart",
          "--autostart yes", "--autostart=on --list"}) {
        const CommandLine result = parse(words);
        EXPECT_EQ(result.action, CommandLine::Action::invalid) << words;
        EXPECT_FALSE(result.error.isEmpty()) << words;
    }
    // The reason names what was not understood.
    EXPECT_TRUE(parse("--frobnicate").error.contains(QStringLiteral("frobnicate")));
    EXPECT_TRUE(parse("studio").error.contains(QStringLiteral("studio")));
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

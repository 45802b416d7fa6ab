#include "app/CommandLine.h"
#include "app/DesktopPlatform.h"
#include "app/HeadlessList.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

void printLine(std::FILE* stream, const QString& line) {
    std::fputs(qPrintable(line + u'\n'), stream);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Nimbrook"));
    QCoreApplication::setOrganizationName(QStringLiteral("Nimbrook"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NIMBROOK_VERSION));

    using nimbrook::CommandLine;
    const CommandLine command = CommandLine::parse(QCoreApplication::arguments());
    switch (command.action) {
    case CommandLine::Action::showVersion:
        printLine(stdout, QStringLiteral("nimbrook ") + QCoreApplication::applicationVersion());
        return 0;
    case CommandLine::Action::showUsage:
        printLine(stdout, CommandLine::usage());
        return 0;
    case CommandLine::Action::list: {
        nimbrook::DesktopPlatform platform;
        return nimbrook::runHeadlessList(command, platform);
    }
    case CommandLine::Action::invalid:
        printLine(stderr, QStringLiteral("nimbrook: ") + command.error);
        printLine(stderr, CommandLine::usage());
        return 2;
    }
    return 2;
}

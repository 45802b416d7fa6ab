#include "app/AutostartCommand.h"
#include "app/CommandLine.h"
#include "app/DesktopPlatform.h"
#include "app/DisplayChoice.h"
#include "app/HeadlessList.h"
#include "app/ManualPage.h"
#include "app/NimbrookApp.h"
#include "app/Watch.h"
#include "platform/Autostart.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <memory>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

void printLine(std::FILE* stream, const QString& line) {
    std::fputs(qPrintable(line + u'\n'), stream);
}

void describeApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Nimbrook"));
    QCoreApplication::setOrganizationName(QStringLiteral("Nimbrook"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NIMBROOK_VERSION));
}

// Qt aborts when the display it picks is not there: pick one that is, or say
// why there is none.
bool chooseDisplay() {
    using nimbrook::DisplayChoice;
    const DisplayChoice choice = nimbrook::chooseDisplay(
        {qEnvironmentVariable("WAYLAND_DISPLAY"), qEnvironmentVariable("XDG_RUNTIME_DIR"),
         qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("QT_QPA_PLATFORM")},
        &nimbrook::DesktopPlatform::socketAnswers);
    switch (choice.outcome) {
    case DisplayChoice::Outcome::asIs:
        return true;
    case DisplayChoice::Outcome::useX11:
        qputenv("QT_QPA_PLATFORM", "xcb");
        return true;
    case DisplayChoice::Outcome::useWayland:
        qputenv("QT_QPA_PLATFORM", "wayland");
        return true;
    case DisplayChoice::Outcome::none:
        printLine(stderr, choice.message);
        return false;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
#if defined(__GLIBC__)
    // We run all day and now and then hold a report of tens of megabytes. With
    // a fixed threshold, big buffers always come from mmap and go back to the
    // system when freed, instead of raising the threshold and staying in the
    // heap for good.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024);
#endif
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    using nimbrook::CommandLine;
    const CommandLine command = CommandLine::parse(arguments);
    switch (command.action) {
    case CommandLine::Action::showVersion:
        printLine(stdout, QStringLiteral("nimbrook ") + QStringLiteral(NIMBROOK_VERSION));
        return 0;
    case CommandLine::Action::showUsage:
        printLine(stdout, CommandLine::usage());
        return 0;
    case CommandLine::Action::manualPage:
        std::fputs(qPrintable(nimbrook::manualPage(QStringLiteral(NIMBROOK_VERSION))), stdout);
        return 0;
    case CommandLine::Action::autostart: {
        QCoreApplication app(argc, argv);
        const auto autostart = nimbrook::DesktopPlatform::makeAutostart();
        return nimbrook::runAutostart(command.autostart, *autostart,
                                      QCoreApplication::applicationFilePath(), stdout, stderr);
    }
    case CommandLine::Action::invalid:
        printLine(stderr, QStringLiteral("nimbrook: ") + command.error);
        printLine(stderr, CommandLine::usage());
        return 2;
    case CommandLine::Action::list: {
        QCoreApplication app(argc, argv);
        describeApplication();
        nimbrook::DesktopPlatform platform;
        return nimbrook::runHeadlessList(command, platform);
    }
    case CommandLine::Action::watch: {
        QCoreApplication app(argc, argv);
        describeApplication();
        nimbrook::DesktopPlatform platform;
        return nimbrook::runWatch(command, platform);
    }
    case CommandLine::Action::runTray:
        break;
    }

    if (!chooseDisplay())
        return 1;
    QApplication app(argc, argv);
    describeApplication();
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setDesktopFileName(QStringLiteral("io.github.nimbrook.nimbrook"));
    auto platform = std::make_unique<nimbrook::DesktopPlatform>();
    auto tray = std::make_unique<nimbrook::NimbrookApp>(*platform);
    // Started again: the running one shows its panel, and this one is done.
    if (!tray->claimInstance())
        return 0;
    tray->launch();
    const int status = QApplication::exec();
    tray.reset(); // the Discovery goes before the platform it uses
    platform.reset();
    return status;
}

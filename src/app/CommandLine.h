#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>

namespace nimbrook {

// What the user asked the nimbrook executable to do.
struct CommandLine {
    enum class Action {
        runTray,
        showUsage,
        showVersion,
        list,
        watch,
        autostart,
        manualPage,
        invalid
    };
    enum class AutostartRequest { on, off, status };

    static constexpr auto defaultListWait = std::chrono::milliseconds(3000);

    Action action = Action::runTray;
    bool json = false;                                     // --list/--watch --json
    std::chrono::milliseconds listWait = defaultListWait;  // --list --wait SECONDS
    AutostartRequest autostart = AutostartRequest::status; // --autostart on|off|status
    QString error; // for `invalid`: what was wrong, one line

    // One documented option, as --help and the manual page show it.
    struct OptionHelp {
        QString syntax;      // "--wait SECONDS"
        QString description; // one line
    };

    // `arguments` includes the program name first, as QCoreApplication gives it.
    static CommandLine parse(const QStringList& arguments);
    // The options every user may pass, in the order --help lists them.
    static QList<OptionHelp> options();
    static QString synopsis();
    static QString usage();
};

} // namespace nimbrook

#pragma once

#include <QString>
#include <QStringList>

#include <chrono>

namespace nimbrook {

// What the user asked the nimbrook executable to do.
struct CommandLine {
    enum class Action { runTray, showUsage, showVersion, list, watch, invalid };

    static constexpr auto defaultListWait = std::chrono::milliseconds(3000);

    Action action = Action::runTray;
    bool json = false;                                    // --list/--watch --json
    std::chrono::milliseconds listWait = defaultListWait; // --list --wait SECONDS
    QString error;                                        // for `invalid`: what was wrong, one line

    // `arguments` includes the program name first, as QCoreApplication gives it.
    static CommandLine parse(const QStringList& arguments);
    static QString usage();
};

} // namespace nimbrook

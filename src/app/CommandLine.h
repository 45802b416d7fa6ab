#pragma once

#include <QString>
#include <QStringList>

namespace nimbrook {

// What the user asked the nimbrook executable to do.
struct CommandLine {
    enum class Action { showUsage, showVersion, invalid };

    Action action = Action::showUsage;
    QString error; // for `invalid`: what was wrong, one line

    // `arguments` includes the program name first, as QCoreApplication gives it.
    static CommandLine parse(const QStringList& arguments);
    static QString usage();
};

} // namespace nimbrook

#include "app/CommandLine.h"

#include <QCommandLineParser>

#include <cmath>

namespace nimbrook {

namespace {

CommandLine invalid(const QString& error) {
    CommandLine result;
    result.action = CommandLine::Action::invalid;
    result.error = error;
    return result;
}

// The options' long names, as the parser is asked about them.
const QString listOption = QStringLiteral("list");
const QString watchOption = QStringLiteral("watch");
const QString jsonOption = QStringLiteral("json");
const QString waitOption = QStringLiteral("wait");
const QString autostartOption = QStringLiteral("autostart");
const QString versionOption = QStringLiteral("version");
const QString helpOption = QStringLiteral("help");
// For the build: the manual page, made from the same table as --help.
const QString manualPageOption = QStringLiteral("manual-page");

// Every option, in the order --help lists them: the parser and the help are
// both made from it.
struct OptionEntry {
    QStringList names; // the long name last
    QString value;     // the value's name in the help; empty: takes none
    QString description;
};

const QList<OptionEntry>& optionTable() {
    static const QList<OptionEntry> table{
        {{listOption}, {}, QStringLiteral("print the machines found, then exit")},
        {{watchOption},
         {},
         QStringLiteral("print the list each time it changes, until interrupted")},
        {{jsonOption},
         {},
         QStringLiteral("print JSON: one object (--list) or one object per line (--watch)")},
        {{waitOption},
         QStringLiteral("SECONDS"),
         QStringLiteral("wait at most this long for discovery (default 3)")},
        {{autostartOption},
         QStringLiteral("on|off|status"),
         QStringLiteral("start Nimbrook at login, or not, or say which")},
        {{versionOption}, {}, QStringLiteral("print the version")},
        {{QStringLiteral("h"), helpOption}, {}, QStringLiteral("print this help")},
    };
    return table;
}

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionEntry& option : optionTable())
        parser.addOption(QCommandLineOption(option.names, option.description, option.value));
    parser.addOption(QCommandLineOption(manualPageOption));

    if (!parser.parse(arguments))
        return invalid(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return invalid(
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first()));

    const int actions = int(parser.isSet(versionOption)) + int(parser.isSet(helpOption)) +
                        int(parser.isSet(listOption)) + int(parser.isSet(watchOption)) +
                        int(parser.isSet(autostartOption)) + int(parser.isSet(manualPageOption));
    if (actions > 1)
        return invalid(
            QStringLiteral("Choose one of --list, --watch, --autostart, --version and --help."));
    if (!parser.isSet(listOption) && !parser.isSet(watchOption) && parser.isSet(jsonOption))
        return invalid(QStringLiteral("--json goes with --list or --watch."));
    if (!parser.isSet(listOption) && parser.isSet(waitOption))
        return invalid(QStringLiteral("--wait goes with --list."));

    CommandLine result;
    if (parser.isSet(helpOption)) {
        result.action = Action::showUsage;
    } else if (parser.isSet(manualPageOption)) {
        result.action = Action::manualPage;
    } else if (parser.isSet(autostartOption)) {
        const QString request = parser.value(autostartOption);
        result.action = Action::autostart;
        if (request == QLatin1StringView("on"))
            result.autostart = AutostartRequest::on;
        else if (request == QLatin1StringView("off"))
            result.autostart = AutostartRequest::off;
        else if (request == QLatin1StringView("status"))
            result.autostart = AutostartRequest::status;
        else
            return invalid(
                QStringLiteral("--autostart takes on, off or status, not '%1'.").arg(request));
    } else if (parser.isSet(versionOption)) {
        result.action = Action::showVersion;
    } else if (parser.isSet(watchOption)) {
        result.action = Action::watch;
        result.json = parser.isSet(jsonOption);
    } else if (parser.isSet(listOption)) {
        result.action = Action::list;
        result.json = parser.isSet(jsonOption);
        if (parser.isSet(waitOption)) {
            const QString text = parser.value(waitOption);
            bool ok = false;
            const double seconds = text.toDouble(&ok);
            if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 3600)
                return invalid(
                    QStringLiteral("--wait takes a number of seconds from 0 to 3600, not '%1'.")
                        .arg(text));
            result.listWait = std::chrono::milliseconds(std::llround(seconds * 1000));
        }
    }
    return result;
}

QList<CommandLine::OptionHelp> CommandLine::options() {
    QList<OptionHelp> help;
    for (const OptionEntry& option : optionTable()) {
        QString syntax = QStringLiteral("--") + option.names.last();
        if (!option.value.isEmpty())
            syntax += u' ' + option.value;
        help.append({syntax, option.description});
    }
    return help;
}

QString CommandLine::synopsis() {
    return QStringLiteral("nimbrook [--list [--json] [--wait SECONDS] | --watch [--json] | "
                          "--autostart on|off|status | --version | --help]");
}

QString CommandLine::usage() {
    QString text = QStringLiteral("Usage: ") + synopsis() + u'\n' +
                   QStringLiteral("  (no option)                run in the system tray");
    for (const OptionHelp& option : options())
        text += QStringLiteral("\n  ") + option.syntax.leftJustified(27) + option.description;
    return text;
}

} // namespace nimbrook

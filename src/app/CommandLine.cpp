#include "app/CommandLine.h"

#include <QCommandLineParser>

namespace nimbrook {

CommandLine CommandLine::parse(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(version);
    parser.addOption(help);

    CommandLine result;
    if (!parser.parse(arguments)) {
        result.action = Action::invalid;
        result.error = parser.errorText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.action = Action::invalid;
        result.error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
        return result;
    }
    if (parser.isSet(version) && parser.isSet(help)) {
        result.action = Action::invalid;
        result.error = QStringLiteral("--version and --help cannot be combined.");
        return result;
    }
    result.action = parser.isSet(version) ? Action::showVersion : Action::showUsage;
    return result;
}

QString CommandLine::usage() {
    return QStringLiteral("Usage: nimbrook [--version | --help]");
}

} // namespace nimbrook

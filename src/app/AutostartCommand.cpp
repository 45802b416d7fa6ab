#include "app/AutostartCommand.h"

#include "platform/Autostart.h"

namespace nimbrook {

namespace {

void say(std::FILE* stream, const QString& text) {
    const QByteArray line = (text + u'\n').toUtf8();
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stream);
}

} // namespace

int runAutostart(CommandLine::AutostartRequest request, Autostart& autostart,
                 const QString& program, std::FILE* out, std::FILE* err) {
    const QString where = autostart.entryPath();
    switch (request) {
    case CommandLine::AutostartRequest::status:
        say(out, autostart.isEnabled()
                     ? QStringLiteral("on: Nimbrook starts at login (%1)").arg(where)
                     : QStringLiteral("off: Nimbrook does not start at login"));
        return 0;
    case CommandLine::AutostartRequest::on: {
        const Autostart::Outcome outcome = autostart.enable(program);
        if (!outcome.ok) {
            say(err, QStringLiteral("nimbrook: ") + outcome.error);
            return 1;
        }
        say(out, outcome.changed
                     ? QStringLiteral("on: Nimbrook will start at login (%1)").arg(where)
                     : QStringLiteral("on: Nimbrook already starts at login (%1)").arg(where));
        return 0;
    }
    case CommandLine::AutostartRequest::off: {
        const Autostart::Outcome outcome = autostart.disable();
        if (!outcome.ok) {
            say(err, QStringLiteral("nimbrook: ") + outcome.error);
            return 1;
        }
        say(out, outcome.changed
                     ? QStringLiteral("off: Nimbrook will no longer start at login (removed %1)")
                           .arg(where)
                     : QStringLiteral("off: Nimbrook was not set to start at login"));
        return 0;
    }
    }
    return 1;
}

} // namespace nimbrook

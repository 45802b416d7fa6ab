#include "app/ManualPage.h"

#include "app/CommandLine.h"

namespace nimbrook {

namespace {

// Backslashes and hyphens as roff wants them; a leading dot or quote would be
// read as a request.
QString roff(QString text) {
    text.replace(u'\\', QStringLiteral("\\e"));
    text.replace(u'-', QStringLiteral("\\-"));
    if (text.startsWith(u'.') || text.startsWith(u'\''))
        text.prepend(QStringLiteral("\\&"));
    return text;
}

// An option's syntax: the option in bold, its argument in italics.
QString optionSyntax(const QString& syntax) {
    const qsizetype space = syntax.indexOf(u' ');
    if (space < 0)
        return QStringLiteral("\\fB") + roff(syntax) + QStringLiteral("\\fR");
    return QStringLiteral("\\fB") + roff(syntax.left(space)) + QStringLiteral("\\fR \\fI") +
           roff(syntax.mid(space + 1)) + QStringLiteral("\\fR");
}

} // namespace

QString manualPage(const QString& version) {
    QString page;
    const auto line = [&](const QString& text) { page += text + u'\n'; };
    const auto paragraph = [&](const QString& tag, const QString& body) {
        line(QStringLiteral(".TP"));
        line(tag);
        line(roff(body));
    };

    line(QStringLiteral(".TH NIMBROOK 1 \"December 2026\" \"nimbrook %1\" \"User Commands\"")
             .arg(version));
    line(QStringLiteral(".SH NAME"));
    line(QStringLiteral("nimbrook \\- lists your other computers and opens a screen\\-sharing "
                        "session on any of them"));
    line(QStringLiteral(".SH SYNOPSIS"));
    line(roff(CommandLine::synopsis()));
    line(QStringLiteral(".SH DESCRIPTION"));
    line(roff(QStringLiteral(
        "Nimbrook lives in the system tray. It finds computers that offer screen sharing on the "
        "local network, by browsing DNS-SD for _rfb._tcp services through Avahi, and across "
        "your Tailscale network, by running `tailscale status --json` every 5 seconds. Both "
        "sources merge into one list, reachable machines first, then by name. Choosing a "
        "machine hands vnc://address to the desktop's default handler.")));
    line(QStringLiteral(".PP"));
    line(roff(QStringLiteral(
        "Without an option Nimbrook shows its icon in the system tray; without any tray it says "
        "so once and shows its panel in a small window instead.")));

    line(QStringLiteral(".SH OPTIONS"));
    for (const CommandLine::OptionHelp& option : CommandLine::options())
        paragraph(optionSyntax(option.syntax), option.description);

    line(QStringLiteral(".SH CONFIGURATION"));
    line(roff(
        QStringLiteral("Settings are read from Nimbrook.conf, an INI file, under [General]:")));
    paragraph(QStringLiteral("\\fBTailscaleCLIPath\\fR"),
              QStringLiteral("the Tailscale command-line tool to run. Without it Nimbrook looks "
                             "in /usr/bin, /usr/sbin and /snap/bin (and the usual macOS places)."));
    paragraph(QStringLiteral("\\fBNotifyWhenOnline\\fR"),
              QStringLiteral("machines (their identity, as --list --json shows it) to announce "
                             "with a desktop notification when they come online."));
    paragraph(QStringLiteral("\\fBPinnedMachines\\fR"),
              QStringLiteral("machines listed before all others."));
    paragraph(QStringLiteral("\\fBTailscaleOperatingSystems\\fR"),
              QStringLiteral("which Tailscale peers are listed, by their operating system "
                             "(default macOS), for example: macOS, linux, windows."));
    line(QStringLiteral(".PP"));
    line(roff(QStringLiteral("Lists are comma-separated. Every setting is read again every "
                             "5 seconds.")));

    line(QStringLiteral(".SH ENVIRONMENT"));
    paragraph(QStringLiteral("\\fBXDG_CONFIG_HOME\\fR"),
              QStringLiteral("where Nimbrook.conf and the autostart entry live (default "
                             "~/.config)."));
    paragraph(QStringLiteral("\\fBDISPLAY\\fR, \\fBWAYLAND_DISPLAY\\fR"),
              QStringLiteral("the desktop to show the tray icon on; without either, only --list "
                             "and --watch run."));
    paragraph(QStringLiteral("\\fBQT_LOGGING_RULES\\fR"),
              QStringLiteral("diagnostics, for example nimbrook.*.debug=true."));
    paragraph(QStringLiteral("\\fBNIMBROOK_HEARTBEAT\\fR"),
              QStringLiteral("with --watch, 1 reports the main thread's longest stall on "
                             "standard error."));

    line(QStringLiteral(".SH FILES"));
    paragraph(QStringLiteral("\\fI$XDG_CONFIG_HOME/Nimbrook/Nimbrook.conf\\fR"),
              QStringLiteral("the settings."));
    paragraph(QStringLiteral("\\fI$XDG_CONFIG_HOME/autostart/nimbrook.desktop\\fR"),
              QStringLiteral("the login entry that --autostart writes or removes."));
    paragraph(QStringLiteral("\\fI/etc/machine\\-info\\fR"),
              QStringLiteral("PRETTY_HOSTNAME, this computer's name, which is left out of the "
                             "list."));

    line(QStringLiteral(".SH EXIT STATUS"));
    paragraph(QStringLiteral("\\fB0\\fR"), QStringLiteral("success."));
    paragraph(QStringLiteral("\\fB1\\fR"),
              QStringLiteral("no display to run in the tray on, or the autostart entry could "
                             "not be written or removed."));
    paragraph(QStringLiteral("\\fB2\\fR"), QStringLiteral("the options were not understood."));

    line(QStringLiteral(".SH SEE ALSO"));
    line(QStringLiteral("\\fBtailscale\\fR(1), \\fBavahi\\-daemon\\fR(8), \\fBxdg\\-open\\fR(1)"));
    return page;
}

} // namespace nimbrook

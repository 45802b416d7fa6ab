#include "platform/linux/XdgAutostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace nimbrook {

namespace {

QString configHome(const QString& given) {
    if (!given.isEmpty())
        return given;
    // The XDG base directory rules: an unset or relative XDG_CONFIG_HOME is ignored.
    const QString fromEnvironment = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(fromEnvironment))
        return fromEnvironment;
    return QDir::homePath() + QStringLiteral("/.config");
}

// A desktop entry's Exec value: quoted when it holds anything a launcher
// would split or expand.
QString execValue(const QString& program) {
    static const QString special = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`%");
    if (std::none_of(program.cbegin(), program.cend(), [](QChar c) { return special.contains(c); }))
        return program;
    QString quoted;
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += QStringLiteral("\\\\"); // escaped once for the string, once for Exec
        if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    return u'"' + quoted + u'"';
}

} // namespace

XdgAutostart::XdgAutostart(QString home)
    : path_(configHome(home) + QStringLiteral("/autostart/nimbrook.desktop")) {
}

QString XdgAutostart::entryPath() const {
    return path_;
}

bool XdgAutostart::isEnabled() const {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // An entry the user switched off in their desktop's settings stays but
    // says so with Hidden=true (or, on GNOME, X-GNOME-Autostart-enabled=false).
    const QByteArray contents = file.read(64 * 1024);
    for (const QByteArray& rawLine : contents.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false")
            return false;
    }
    return true;
}

QByteArray XdgAutostart::entry(const QString& program) {
    return QByteArrayLiteral("[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Nimbrook\n"
                             "Comment=Lists your other computers and opens a screen-sharing "
                             "session on any of them\n"
                             "Exec=") +
           execValue(program).toUtf8() +
           QByteArrayLiteral("\n"
                             "Icon=io.github.nimbrook.nimbrook\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n");
}

Autostart::Outcome XdgAutostart::enable(const QString& program) {
    const QByteArray wanted = entry(program);
    QFile existing(path_);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == wanted)
        return {true, false, {}};
    existing.close();

    if (!QDir().mkpath(QFileInfo(path_).absolutePath()))
        return {false, false,
                QStringLiteral("cannot create %1").arg(QFileInfo(path_).absolutePath())};
    // Written whole or not at all: a login never meets half an entry.
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(wanted) != wanted.size() || !file.commit())
        return {false, false, QStringLiteral("cannot write %1: %2").arg(path_, file.errorString())};
    return {true, true, {}};
}

Autostart::Outcome XdgAutostart::disable() {
    QFile file(path_);
    if (!file.exists())
        return {true, false, {}};
    if (!file.remove())
        return {false, false,
                QStringLiteral("cannot remove %1: %2").arg(path_, file.errorString())};
    return {true, true, {}};
}

} // namespace nimbrook

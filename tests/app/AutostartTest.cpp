#include "app/AutostartCommand.h"
#include "platform/linux/XdgAutostart.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

namespace nimbrook {
namespace {

// Runs the command and returns its exit status with what it printed.
struct Said {
    int status = -1;
    QString out;
    QString err;
};

QString readAll(std::FILE* stream) {
    std::rewind(stream);
    QByteArray bytes;
    char buffer[512];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, stream))
        bytes.append(buffer, qsizetype(got));
    std::fclose(stream);
    return QString::fromUtf8(bytes);
}

Said run(CommandLine::AutostartRequest request, Autostart& autostart,
         const QString& program = QStringLiteral("/usr/bin/nimbrook")) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Said said;
    said.status = runAutostart(request, autostart, program, out, err);
    said.out = readAll(out);
    said.err = readAll(err);
    return said;
}

using Request = CommandLine::AutostartRequest;

TEST(AutostartTest, OnAndOffAreIdempotentAndSayWhatChanged) {
    QTemporaryDir home;
    XdgAutostart autostart(home.path());
    const QString entry = home.filePath(QStringLiteral("autostart/nimbrook.desktop"));
    EXPECT_EQ(autostart.entryPath(), entry);
    EXPECT_TRUE(run(Request::status, autostart).out.startsWith(QStringLiteral("off:")));

    const Said on = run(Request::on, autostart);
    EXPECT_EQ(on.status, 0);
    EXPECT_TRUE(on.out.contains(QStringLiteral("will start at login"))) << on.out.toStdString();
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    EXPECT_TRUE(written.contains("\nExec=/usr/bin/nimbrook\n")) << written.constData();
    EXPECT_TRUE(written.startsWith("[Desktop Entry]\n"));

    EXPECT_TRUE(run(Request::on, autostart).out.contains(QStringLiteral("already")));
    EXPECT_TRUE(run(Request::status, autostart).out.startsWith(QStringLiteral("on:")));

    const Said off = run(Request::off, autostart);
    EXPECT_EQ(off.status, 0);
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_TRUE(run(Request::off, autostart).out.contains(QStringLiteral("was not set")));
}

TEST(AutostartTest, AnEntryTheDesktopSwitchedOffCountsAsOff) {
    QTemporaryDir home;
    XdgAutostart autostart(home.path());
    ASSERT_EQ(run(Request::on, autostart).status, 0);
    QFile file(autostart.entryPath());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("Hidden=true\n");
    file.close();
    EXPECT_FALSE(autostart.isEnabled());
    // Turning it on again replaces the switched-off entry.
    EXPECT_TRUE(run(Request::on, autostart).out.contains(QStringLiteral("will start")));
    EXPECT_TRUE(autostart.isEnabled());
}

TEST(AutostartTest, ProgramPathsWithSpacesAreQuotedForTheLauncher) {
    EXPECT_TRUE(XdgAutostart::entry(QStringLiteral("/opt/my apps/nimbrook"))
                    .contains("\nExec=\"/opt/my apps/nimbrook\"\n"));
    EXPECT_TRUE(XdgAutostart::entry(QStringLiteral("/opt/100%/nim$brook"))
                    .contains("\nExec=\"/opt/100%%/nim\\\\$brook\"\n"));
}

TEST(AutostartTest, AFailureIsReportedAndNothingIsClaimed) {
    QTemporaryDir home;
    // The autostart folder cannot be made: a file stands where it should be.
    QFile blocker(home.filePath(QStringLiteral("autostart")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    XdgAutostart autostart(home.path());
    const Said on = run(Request::on, autostart);
    EXPECT_EQ(on.status, 1);
    EXPECT_TRUE(on.out.isEmpty());
    EXPECT_TRUE(on.err.startsWith(QStringLiteral("nimbrook: cannot"))) << on.err.toStdString();
    EXPECT_TRUE(run(Request::status, autostart).out.startsWith(QStringLiteral("off:")));
}

} // namespace
} // namespace nimbrook

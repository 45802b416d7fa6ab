#include "platform/ProcessRun.h"

#include "TestHelpers.h"
#include "discovery/Discovery.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace nimbrook {
namespace {

using namespace std::chrono_literals;

const QString fakeTool = QStringLiteral(NIMBROOK_TEST_DATA_DIR "/fake-tailscale");
const QStringList statusArguments{QStringLiteral("status"), QStringLiteral("--json")};

using testing::fixture;

int openDescriptorCount() {
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                   .size());
}

struct Timed {
    QByteArray output;
    double seconds;
};

// One run of the fake tool with the product's own limits.
Timed runFake(const char* mode, const QByteArray& extraName = {},
              const QByteArray& extraValue = {}) {
    qputenv("FAKE_TAILSCALE_MODE", mode);
    if (!extraName.isEmpty())
        qputenv(extraName.constData(), extraValue);
    QElapsedTimer timer;
    timer.start();
    QByteArray output = Discovery::runBlocking(fakeTool, statusArguments, Discovery::toolTimeLimit,
                                               Discovery::toolKillGrace);
    const double seconds = double(timer.elapsed()) / 1000.0;
    qunsetenv("FAKE_TAILSCALE_MODE");
    if (!extraName.isEmpty())
        qunsetenv(extraName.constData());
    return {std::move(output), seconds};
}

TEST(ProcessRunTest, AToolThatPrintsAndExitsGivesItsWholeReport) {
    const Timed normal = runFake("normal");
    EXPECT_EQ(normal.output, fixture("running-3-macs.json"));
    EXPECT_LT(normal.seconds, 2.0);
    // Room past the end for a parser that reads ahead.
    EXPECT_GE(normal.output.capacity() - normal.output.size(), outputSlack);
    // Standard error and the exit status make no difference.
    EXPECT_EQ(runFake("stderr", "FAKE_TAILSCALE_STDERR_KB", "128").output,
              fixture("running-3-macs.json"));
    EXPECT_EQ(runFake("exit-error").output, fixture("running-3-macs.json"));
}

TEST(ProcessRunTest, OutputBeyondTheCapIsDroppedAndTheToolKilledAtOnce) {
    const QByteArray endlessMode("endless");
    const QByteArray hugeMode("huge");
    for (const QByteArray& mode : {endlessMode, hugeMode}) {
        qputenv("FAKE_TAILSCALE_MODE", mode);
        qputenv("FAKE_TAILSCALE_HUGE_PEERS", "2000");
        QElapsedTimer timer;
        timer.start();
        const QByteArray output =
            runProcessBlocking(fakeTool, statusArguments, Discovery::toolTimeLimit,
                               Discovery::toolKillGrace, -1, 1024 * 1024);
        EXPECT_TRUE(output.isEmpty()) << mode.constData();
        // Cut off at the cap, not at the time limit.
        EXPECT_LT(timer.elapsed(), 8000) << mode.constData();
    }
    qunsetenv("FAKE_TAILSCALE_MODE");
    qunsetenv("FAKE_TAILSCALE_HUGE_PEERS");
    // The real cap leaves room for the stand-in's largest report, which comes
    // back whole although it is far larger than the pipe.
    const QJsonDocument huge =
        QJsonDocument::fromJson(runFake("huge", "FAKE_TAILSCALE_HUGE_PEERS", "2000").output);
    EXPECT_EQ(huge.object().value(QStringLiteral("Peer")).toObject().size(), 2000);
}

TEST(ProcessRunTest, AHangingToolIsTerminatedAtTheLimit) {
    const Timed hang = runFake("hang");
    EXPECT_TRUE(hang.output.isEmpty());
    EXPECT_GE(hang.seconds, 9.9);
    EXPECT_LT(hang.seconds, 11.5);
}

TEST(ProcessRunTest, AToolIgnoringSigtermIsKilledTwoSecondsLater) {
    const Timed stubborn = runFake("ignore-term");
    EXPECT_EQ(stubborn.output, fixture("running-3-macs.json").left(2048));
    EXPECT_GE(stubborn.seconds, 11.9);
    EXPECT_LT(stubborn.seconds, 13.5);
}

TEST(ProcessRunTest, ADescendantHoldingStdoutIsAbandonedAfterFourteenSeconds) {
    const Timed held = runFake("daemon-holds-stdout");
    EXPECT_EQ(held.output, fixture("running-3-macs.json"));
    EXPECT_GE(held.seconds, 13.9);
    EXPECT_LT(held.seconds, 15.5);
}

TEST(ProcessRunTest, AToolThatClosesStdoutAndLingersIsKilledAtOnce) {
    // Were it not killed, reaping would wait for its 60-second sleep.
    const Timed lingering = runFake("close-stdout-keep-running");
    EXPECT_EQ(lingering.output, fixture("running-3-macs.json"));
    EXPECT_LT(lingering.seconds, 2.0);
}

TEST(ProcessRunTest, ALaunchFailureGivesNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString notExecutable = dir.filePath(QStringLiteral("tailscale"));
    QFile file(notExecutable);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\necho hi\n");
    file.close();

    for (const QString& path :
         {dir.filePath(QStringLiteral("missing")), notExecutable, dir.path(), QString()})
        EXPECT_TRUE(Discovery::runBlocking(path, statusArguments, 10s, 2s).isEmpty())
            << path.toStdString();
}

TEST(ProcessRunTest, NoDescriptorLeaksIntoTheChildOrOutlivesTheRun) {
    // A descriptor without close-on-exec, as a careless library might leave one.
    const int stray = open("/dev/null", O_RDONLY);
    ASSERT_GE(stray, 0);
    const int before = openDescriptorCount();

    const QByteArray seen =
        Discovery::runBlocking(QStringLiteral("/bin/sh"),
                               {QStringLiteral("-c"), QStringLiteral("ls /proc/$$/fd")}, 10s, 2s);
    EXPECT_EQ(seen, QByteArray("0\n1\n2\n"));
    EXPECT_EQ(openDescriptorCount(), before);
    close(stray);
}

TEST(ProcessRunTest, ArgumentsArePassedUnchanged) {
    const QByteArray echoed = Discovery::runBlocking(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("printf '%s|' \"$@\""), QStringLiteral("sh"),
         QStringLiteral("a b"), QString(), QStringLiteral("Zoë’s")},
        10s, 2s);
    EXPECT_EQ(QString::fromUtf8(echoed), QStringLiteral("a b||Zoë’s|"));
}

} // namespace
} // namespace nimbrook

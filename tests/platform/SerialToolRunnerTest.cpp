#include "platform/linux/SerialToolRunner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace nimbrook {
namespace {

using namespace std::chrono_literals;

TEST(SerialToolRunnerTest, RunsNeverOverlapAndCompleteInSubmissionOrder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString log = dir.filePath(QStringLiteral("log"));
    const QString script =
        QStringLiteral("echo start $1 >> '%1'; sleep 0.3; echo end $1 >> '%1'; echo $1").arg(log);

    SerialToolRunner runner;
    std::vector<QByteArray> outputs;
    std::mutex mutex;
    std::promise<void> allDone;
    for (int i = 0; i < 3; ++i) {
        runner.run(QStringLiteral("/bin/sh"),
                   {QStringLiteral("-c"), script, QStringLiteral("sh"), QString::number(i)}, 10s,
                   2s, [&, i](QByteArray output) {
                       std::lock_guard lock(mutex);
                       outputs.push_back(output);
                       if (i == 2)
                           allDone.set_value();
                   });
    }
    ASSERT_EQ(allDone.get_future().wait_for(10s), std::future_status::ready);
    EXPECT_EQ(outputs, (std::vector<QByteArray>{"0\n", "1\n", "2\n"}));

    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("start 0\nend 0\nstart 1\nend 1\nstart 2\nend 2\n"));
}

TEST(SerialToolRunnerTest, DestroyingTheRunnerCutsARunningToolShort) {
    std::atomic<int> completions = 0;
    QElapsedTimer timer;
    {
        SerialToolRunner runner;
        runner.run(QStringLiteral("/bin/sleep"), {QStringLiteral("30")}, 10s, 2s,
                   [&](QByteArray) { ++completions; });
        runner.run(QStringLiteral("/bin/echo"), {QStringLiteral("queued")}, 10s, 2s,
                   [&](QByteArray) { ++completions; });
        std::this_thread::sleep_for(200ms);
        timer.start();
    }
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(completions.load(), 0);
}

} // namespace
} // namespace nimbrook

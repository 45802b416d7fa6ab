#include "app/WatchPrinter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <poll.h>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace nimbrook {
namespace {

using Snapshot = WatchPrinter::Snapshot;

Snapshot machines(int count, TailscaleState state = TailscaleState::ok) {
    Snapshot snapshot;
    snapshot.tailscaleState = state;
    for (int i = 0; i < count; ++i)
        snapshot.macs.append(RemoteMac{QStringLiteral("host-%1.ts.net.").arg(i),
                                       QStringLiteral("host-%1").arg(i),
                                       QStringLiteral("Host %1").arg(i),
                                       QStringLiteral("100.64.%1.%2").arg(i / 250).arg(i % 250),
                                       true, RemoteMac::Source::tailscale});
    return snapshot;
}

// A pipe whose write end the printer writes to; the test reads the other end
// whenever it chooses, like a consumer that falls behind.
class PrinterOutput {
public:
    PrinterOutput() {
        int ends[2];
        if (pipe(ends) != 0)
            throw std::runtime_error("pipe failed");
        readEnd_ = ends[0];
        writer_ = fdopen(ends[1], "w");
    }
    ~PrinterOutput() {
        if (writer_)
            std::fclose(writer_);
        close(readEnd_);
    }
    std::FILE* writer() const { return writer_; }

    bool waitForData() const {
        pollfd ready{readEnd_, POLLIN, 0};
        return poll(&ready, 1, 10'000) == 1;
    }
    void closeWriter() {
        std::fclose(writer_);
        writer_ = nullptr;
    }
    // Everything written, once the printer has gone.
    QList<QByteArray> linesAfterClose() {
        closeWriter();
        QByteArray all;
        char buffer[65536];
        for (ssize_t n; (n = read(readEnd_, buffer, sizeof buffer)) > 0;)
            all.append(buffer, n);
        QList<QByteArray> lines = all.split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
    // Drains the pipe on a thread of its own until the write end is closed.
    std::thread drain(QByteArray& into) const {
        return std::thread([fd = readEnd_, &into] {
            char buffer[65536];
            for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
                into.append(buffer, n);
        });
    }

private:
    int readEnd_ = -1;
    std::FILE* writer_ = nullptr;
};

TEST(WatchPrinterTest, PrintsEachDifferentListOnceAndTheLastOneBeforeItGoes) {
    PrinterOutput output;
    {
        WatchPrinter printer(true, output.writer());
        printer.submit(machines(1));
        printer.submit(machines(1));
        printer.submit(machines(2));
        printer.submit(machines(2));
    }
    const QList<QByteArray> lines = output.linesAfterClose();
    ASSERT_FALSE(lines.isEmpty());
    ASSERT_LE(lines.size(), 2);
    EXPECT_EQ(lines.last() + '\n', WatchPrinter::format(machines(2), true));
    if (lines.size() == 2) {
        EXPECT_EQ(lines.first() + '\n', WatchPrinter::format(machines(1), true));
    }
}

TEST(WatchPrinterTest, AReaderThatFallsBehindHoldsUpNobodyAndGetsTheLatestList) {
    PrinterOutput output;
    QByteArray received;
    std::thread reader;
    {
        WatchPrinter printer(true, output.writer());
        // Far more than a pipe holds: the printer blocks in the middle of it.
        const Snapshot large = machines(3000);
        printer.submit(large);
        ASSERT_TRUE(output.waitForData());
        // Meanwhile the list changes many times; each hand-over returns at once.
        for (int count = 1; count <= 10; ++count)
            printer.submit(machines(count, TailscaleState::notRunning));
        reader = output.drain(received);
    }
    output.closeWriter();
    reader.join();
    const QByteArray expected =
        WatchPrinter::format(machines(3000), true) +
        WatchPrinter::format(machines(10, TailscaleState::notRunning), true);
    EXPECT_EQ(received, expected);
}

} // namespace
} // namespace nimbrook

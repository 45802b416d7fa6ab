#include "app/WatchPrinter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace nimbrook {
namespace {

using Snapshot = WatchPrinter::Snapshot;

Snapshot machines(int count, TailscaleState state = TailscaleState::ok) {
    Snapshot snapshot;
    snapshot.tailscaleState = state;
    for (int i = 0; i < count; ++i)
        snapshot.macs.append(RemoteMac(QStringLiteral("host-%1.ts.net.").arg(i),
                                       QStringLiteral("host-%1").arg(i),
                                       QStringLiteral("Host %1").arg(i),
                                       QStringLiteral("100.64.%1.%2").arg(i / 250).arg(i % 250),
                                       true, RemoteMac::Source::tailscale));
    return snapshot;
}

// A pipe whose write end the printer writes to; the test reads the other end
// whenever it chooses, like a consumer that falls behind.
struct PrinterOutput {
    PrinterOutput() {
        int ends[2];
        EXPECT_EQ(pipe(ends), 0);
        readEnd = ends[0];
        writer = fdopen(ends[1], "w");
    }
    ~PrinterOutput() {
        closeWriter();
        close(readEnd);
    }
    void closeWriter() {
        if (writer)
            std::fclose(std::exchange(writer, nullptr));
    }
    // Everything written until the write end is closed.
    QByteArray drain() const {
        QByteArray all;
        char buffer[65536];
        for (ssize_t n; (n = read(readEnd, buffer, sizeof buffer)) > 0;)
            all.append(buffer, n);
        return all;
    }

    int readEnd = -1;
    std::FILE* writer = nullptr;
};

TEST(WatchPrinterTest, PrintsEachDifferentListOnceAndTheLastOneBeforeItGoes) {
    PrinterOutput output;
    {
        WatchPrinter printer(true, output.writer);
        printer.submit(machines(1));
        printer.submit(machines(1));
        printer.submit(machines(2));
        printer.submit(machines(2));
    }
    output.closeWriter();
    const QList<QByteArray> lines = output.drain().trimmed().split('\n');
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
        WatchPrinter printer(true, output.writer);
        // Far more than a pipe holds: the printer blocks in the middle of it.
        const Snapshot large = machines(3000);
        printer.submit(large);
        pollfd ready{output.readEnd, POLLIN, 0};
        ASSERT_EQ(poll(&ready, 1, 10'000), 1);
        // Meanwhile the list changes many times; each hand-over returns at once.
        for (int count = 1; count <= 10; ++count)
            printer.submit(machines(count, TailscaleState::notRunning));
        reader = std::thread([&] { received = output.drain(); });
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

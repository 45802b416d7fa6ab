#include "discovery/SortedTailscale.h"
#include "discovery/StatusParse.h"

#include <QFile>

#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace nimbrook::bench {
namespace {

// A tailnet's report, written by scripts/bench with the report generator
// (`peers` peers, 40 % of them Macs) as report-<peers>.json.
QByteArray reportOf(benchmark::State& state, int peers) {
    const char* directory = std::getenv("NIMBROOK_BENCH_REPORTS");
    QFile file(
        QStringLiteral("%1/report-%2.json").arg(QString::fromLocal8Bit(directory)).arg(peers));
    if (!directory || !file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("set NIMBROOK_BENCH_REPORTS to a directory of reports");
        return {};
    }
    QByteArray report = file.readAll();
    // As the tool runner leaves it.
    report.reserve(report.size() + 64);
    return report;
}

QByteArray largeReport(benchmark::State& state) {
    return reportOf(state, 10'000);
}

// As the app decodes every poll: with the decoder of the previous one.
void parseLargeReport(benchmark::State& state) {
    const QByteArray report = largeReport(state);
    const QStringList macs{QStringLiteral("macos")};
    StatusDecoder decoder;
    for (auto _ : state)
        benchmark::DoNotOptimize(decoder.decode(report, macs));
    state.SetBytesProcessed(state.iterations() * report.size());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(parseLargeReport)->Unit(benchmark::kMillisecond);

// A one-off decoding, its parser made for it.
void parseLargeReportOnce(benchmark::State& state) {
    const QByteArray report = largeReport(state);
    const QStringList macs{QStringLiteral("macos")};
    for (auto _ : state)
        benchmark::DoNotOptimize(parseStatusReport(report, macs));
    state.SetBytesProcessed(state.iterations() * report.size());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(parseLargeReportOnce)->Unit(benchmark::kMillisecond);

// The floor: simdjson's on-demand scan of the same report, keeping the Macs
// with a DNS name and an address, their names copied out and sorted by byte
// order. No validation of what it skips, no records, no collation.
void parseFloorOnDemand(benchmark::State& state) {
    const QByteArray report = largeReport(state);
    const simdjson::padded_string padded(report.constData(), std::size_t(report.size()));
    simdjson::ondemand::parser parser;
    for (auto _ : state) {
        std::vector<std::string> names;
        simdjson::ondemand::document document = parser.iterate(padded);
        for (auto peer : document["Peer"].get_object()) {
            simdjson::ondemand::object fields = peer.value().get_object();
            std::string_view os, dns, host, address;
            for (auto field : fields) {
                const std::string_view key = field.unescaped_key();
                if (key == "OS")
                    os = field.value().get_string();
                else if (key == "DNSName")
                    dns = field.value().get_string();
                else if (key == "HostName")
                    host = field.value().get_string();
                else if (key == "TailscaleIPs")
                    for (auto ip : field.value().get_array()) {
                        address = ip.get_string();
                        break;
                    }
            }
            if (os == "macOS" && !dns.empty() && !address.empty())
                names.emplace_back(host.empty() ? dns : host);
        }
        std::sort(names.begin(), names.end());
        benchmark::DoNotOptimize(names.data());
    }
    state.SetBytesProcessed(state.iterations() * report.size());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(parseFloorOnDemand)->Unit(benchmark::kMillisecond);

// What the worker does for each poll of a 1,000-peer tailnet: decode, then
// sort for merging. On a thread of its own for each poll, as the tool runner
// runs them (Arg 1), or on one thread throughout (Arg 0), which keeps the
// collation keys of the previous poll.
void pollWork(benchmark::State& state) {
    const QByteArray report = reportOf(state, 1'000);
    const QStringList macs{QStringLiteral("macos")};
    StatusDecoder decoder;
    const auto work = [&] {
        const StatusReport decoded = decoder.decode(report, macs);
        benchmark::DoNotOptimize(SortedTailscale(decoded.macs));
    };
    for (auto _ : state) {
        if (state.range(0) == 1)
            std::thread(work).join();
        else
            work();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(pollWork)
    ->ArgName("threadPerPoll")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace nimbrook::bench

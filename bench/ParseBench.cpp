#include "discovery/StatusParse.h"

#include <QFile>

#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace nimbrook::bench {
namespace {

// A large tailnet's report, written by scripts/bench with the report generator
// (10,000 peers, 40 % of them Macs).
QByteArray largeReport(benchmark::State& state) {
    const char* path = std::getenv("NIMBROOK_BENCH_REPORT");
    QFile file(QString::fromLocal8Bit(path ? path : ""));
    if (!path || !file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("set NIMBROOK_BENCH_REPORT to a tailscale status --json report");
        return {};
    }
    QByteArray report = file.readAll();
    // As the tool runner leaves it.
    report.reserve(report.size() + 64);
    return report;
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

} // namespace
} // namespace nimbrook::bench

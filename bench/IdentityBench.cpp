#include "model/MachineIdentity.h"

#include "NameCorpus.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

namespace nimbrook::bench {
namespace {

constexpr int corpusSize = 100'000;

void identityFromDisplayName(benchmark::State& state) {
    const QStringList names = realisticNames(corpusSize);
    for (auto _ : state) {
        for (const QString& name : names)
            benchmark::DoNotOptimize(MachineIdentity::fromDisplayName(name));
    }
    state.SetItemsProcessed(state.iterations() * names.size());
}
BENCHMARK(identityFromDisplayName)->Unit(benchmark::kMillisecond);

// The floor: a plain byte-order sort of the same names.
void identityFloorByteSort(benchmark::State& state) {
    std::vector<std::string> names;
    for (const QString& name : realisticNames(corpusSize))
        names.push_back(name.toStdString());
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::string> copy = names;
        state.ResumeTiming();
        std::sort(copy.begin(), copy.end());
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetItemsProcessed(state.iterations() * names.size());
}
BENCHMARK(identityFloorByteSort)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace nimbrook::bench

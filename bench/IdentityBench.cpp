#include "model/MachineIdentity.h"

#include "NameCorpus.h"

#include <benchmark/benchmark.h>

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

void identityFloorByteSort(benchmark::State& state) {
    byteSortFloor(state, realisticNames(corpusSize));
}
BENCHMARK(identityFloorByteSort)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace nimbrook::bench

#include "discovery/SortedTailscale.h"
#include "model/MachineIdentity.h"

#include "NameCorpus.h"

#include <benchmark/benchmark.h>

namespace nimbrook::bench {
namespace {

struct Sources {
    QList<RemoteMac> tailscale;
    QList<RemoteMac> bonjour;
};

// `perSource` records from each side; half of the local-network machines are
// also on the tailnet, and a third of the tailnet is offline.
Sources makeSources(int perSource) {
    const QStringList names = realisticNames(perSource * 2, 11);
    Sources sources;
    for (int i = 0; i < perSource; ++i) {
        const QString& name = names[i];
        const QString identity = MachineIdentity::fromDisplayName(name) + QString::number(i);
        sources.tailscale.append(RemoteMac{identity + QStringLiteral(".tail1234.ts.net."), identity,
                                           name,
                                           QStringLiteral("100.64.%1.%2").arg(i / 250).arg(i % 250),
                                           i % 3 != 0, RemoteMac::Source::tailscale});
    }
    for (int i = 0; i < perSource; ++i) {
        const bool shared = i % 2 == 0;
        const QString& name = shared ? names[i] : names[perSource + i];
        const QString identity =
            MachineIdentity::fromDisplayName(name) + QString::number(shared ? i : perSource + i);
        sources.bonjour.append(RemoteMac{QStringLiteral("bonjour:") + name, identity, name,
                                         QStringLiteral("192.168.%1.%2").arg(i / 250).arg(i % 250),
                                         true, RemoteMac::Source::bonjour});
    }
    return sources;
}

void merge(benchmark::State& state) {
    const Sources sources = makeSources(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(SortedTailscale(sources.tailscale).mergedWith(sources.bonjour));
    state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(merge)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMillisecond);

// What the main thread pays when the local network changes under a large
// tailnet: the Tailscale side was sorted when its poll arrived, on the worker;
// 100 local machines, half of them also on the tailnet, are merged in.
void mergeLocalIntoSortedTailscale(benchmark::State& state) {
    const Sources sources = makeSources(int(state.range(0)));
    const SortedTailscale sorted(sources.tailscale);
    QList<RemoteMac> local;
    for (qsizetype i = 0; i < 200; i += 2)
        local.append(sources.bonjour[i]);
    for (auto _ : state)
        benchmark::DoNotOptimize(sorted.mergedWith(local));
    state.SetItemsProcessed(state.iterations() * (state.range(0) + local.size()));
}
BENCHMARK(mergeLocalIntoSortedTailscale)->Arg(10'000)->Unit(benchmark::kMillisecond);

// The floor: a plain byte-order sort of the names of both sources.
void mergeFloorByteSort(benchmark::State& state) {
    const Sources sources = makeSources(int(state.range(0)));
    QStringList names;
    for (const auto* list : {&sources.tailscale, &sources.bonjour}) {
        for (const RemoteMac& mac : *list)
            names.append(mac.name);
    }
    byteSortFloor(state, names);
}
BENCHMARK(mergeFloorByteSort)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace nimbrook::bench

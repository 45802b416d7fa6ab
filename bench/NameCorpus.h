#pragma once

#include <QString>
#include <QStringList>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace nimbrook::bench {

// Deterministic, realistic machine names: computer names with typographic
// apostrophes, model names with numbers, accented and non-Latin names, host-
// style names. About half are not plain ASCII, as on a real network.
inline QStringList realisticNames(int count, unsigned seed = 7) {
    static const char* const owners[] = {"Jane", "Guest",  "Zoë",  "Renée", "Björn",
                                         "Ana",  "Marc",   "José", "Chloé", "Łukasz",
                                         "Sam",  "O'Neil", "Priya"};
    static const char* const models[] = {"MacBook Pro", "MacBook Air", "iMac",   "Mac mini",
                                         "Mac Studio",  "Mac Pro",     "Laptop", "Desktop"};
    static const char* const places[] = {"Studio",    "Lab",         "Office", "Café Corner",
                                         "Build_Box", "研究室のMac", "Студия", "ＬＡＢ",
                                         "Kitchen",   "Attic"};
    std::mt19937 random(seed);
    auto pick = [&](const auto& list) {
        return QString::fromUtf8(list[random() % std::size(list)]);
    };
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i) {
        const auto n = static_cast<unsigned>(random() % 200);
        switch (random() % 5) {
        case 0:
            names.append(pick(owners) + QStringLiteral("\u2019s ") + pick(models));
            break;
        case 1:
            names.append(pick(models) + QStringLiteral(" (%1)").arg(n));
            break;
        case 2:
            names.append(pick(places) + QStringLiteral(" %1").arg(n));
            break;
        case 3:
            names.append(pick(owners) + QStringLiteral("s-") + pick(models).replace(u' ', u'-') +
                         QStringLiteral("-%1").arg(n));
            break;
        default:
            names.append(QStringLiteral("  ") + pick(places) + QStringLiteral(" -- ") +
                         pick(owners) + u' ');
            break;
        }
    }
    return names;
}

// The floor the measurements are compared with: a plain byte-order sort of
// the same names, with the copy it sorts made outside the timing.
inline void byteSortFloor(benchmark::State& state, const QStringList& names) {
    std::vector<std::string> bytes;
    bytes.reserve(std::size_t(names.size()));
    for (const QString& name : names)
        bytes.push_back(name.toStdString());
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::string> copy = bytes;
        state.ResumeTiming();
        std::sort(copy.begin(), copy.end());
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(bytes.size()));
}

} // namespace nimbrook::bench

// What reading and saving Nimbrook.conf costs the thread that does it: the
// settings are read at every 5-second tick on the UI thread (a tick reads the
// tool's path and three lists), so a tick must stay far below the 100 ms the
// event loop may ever be held, whatever the file holds.
#include "platform/linux/IniUserDefaults.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <future>
#include <sys/stat.h>

namespace {

using nimbrook::IniUserDefaults;

QByteArray fileOf(const std::string& kind) {
    QByteArray text = "; my settings\n[General]\nTailscaleCLIPath=/usr/bin/tailscale\n"
                      "PinnedMachines=studio, kims-mac-mini\nNotifyWhenOnline=studio\n";
    if (kind == "hugeList") { // 100,000 names: refused
        text += "TailscaleOperatingSystems=macOS";
        for (int i = 0; i < 100'000; ++i)
            text += ", os" + QByteArray::number(i);
        text += "\n";
    } else if (kind == "fiftyMegabytes") { // 2.3 million keys: refused
        for (int i = 0; text.size() < 50 * 1024 * 1024; ++i)
            text += "Key" + QByteArray::number(i) + "=value\n";
    }
    return text;
}

void readTick(const IniUserDefaults& defaults) {
    benchmark::DoNotOptimize(defaults.stringForKey(QStringLiteral("TailscaleCLIPath")));
    for (const char* key : {"PinnedMachines", "NotifyWhenOnline", "TailscaleOperatingSystems"})
        benchmark::DoNotOptimize(defaults.stringListForKey(QString::fromLatin1(key)));
}

// range(0): 1 = the file changed before every tick (it is read and parsed
// again), 0 = unchanged (only looked at).
void settingsTick(benchmark::State& state, const std::string& kind) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Nimbrook.conf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(fileOf(kind)) < 0)
        return state.SkipWithError("cannot write the file");
    file.close();
    const IniUserDefaults defaults(path);
    const QByteArray name = QFile::encodeName(path);
    long long stamp = 0;
    for (auto _ : state) {
        if (state.range(0)) {
            state.PauseTiming();
            const timespec times[2] = {{++stamp, 0}, {stamp, 0}};
            utimensat(AT_FDCWD, name.constData(), times, 0);
            state.ResumeTiming();
        }
        readTick(defaults);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(settingsTick, typical, std::string("typical"))
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(settingsTick, hugeList, std::string("hugeList"))
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(settingsTick, fiftyMegabytes, std::string("fiftyMegabytes"))
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);

// One pin saved, start to finish, on the writer's thread.
void settingsSavePin(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Nimbrook.conf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(fileOf("typical")) < 0)
        return state.SkipWithError("cannot write the file");
    file.close();
    IniUserDefaults defaults(path);
    bool pin = true;
    for (auto _ : state) {
        std::promise<void> saved;
        defaults.changeStringList(
            QStringLiteral("PinnedMachines"),
            [pin](QStringList stored) {
                if (pin)
                    stored.append(QStringLiteral("air"));
                else
                    stored.removeAll(QStringLiteral("air"));
                return stored;
            },
            [&saved](const auto&) { saved.set_value(); });
        saved.get_future().wait();
        pin = !pin;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(settingsSavePin)->Unit(benchmark::kMicrosecond);

} // namespace

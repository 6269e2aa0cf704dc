// The module link's own cost per command, beyond its fixed 40 ms pause and
// the module's reply time: the pause runs on a clock that does not wait, so
// what is measured is enumeration, the two opens, the write and the read.
#include <benchmark/benchmark.h>

#include "emulator/emulated_host.h"
#include "link/module_link.h"
#include "protocol/command_set.h"
#include "manual_clock.h"

using namespace zelio;

namespace {

struct Bench {
    ManualClock clock;
    EmulatedHost host{clock};
    ModuleLink link{host, clock};

    explicit Bench(int foreign) {
        // Foreign interfaces enumerate ahead of the module: every command
        // opens and inspects each of them first.
        for (int i = 0; i < foreign; ++i) host.addForeignDevice(0x0400 + static_cast<uint16_t>(i), 0xC000);
        host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    }
};

void BM_Send(benchmark::State& state) {
    Bench b(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(b.link.send(0x280, commandReport(0x45, 0, 1)));
    state.counters["foreign"] = static_cast<double>(state.range(0));
}

void BM_Transact(benchmark::State& state) {
    Bench b(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(b.link.transact(0x280, commandReport(0x40)));
        benchmark::DoNotOptimize(b.link.reply());
    }
    state.counters["foreign"] = static_cast<double>(state.range(0));
}

void BM_ListModules(benchmark::State& state) {
    Bench b(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(b.link.listModules());
}

}  // namespace

BENCHMARK(BM_Send)->Arg(1)->Arg(16)->Arg(64);
BENCHMARK(BM_Transact)->Arg(1)->Arg(16)->Arg(64);
BENCHMARK(BM_ListModules)->Arg(1)->Arg(16)->Arg(64);

BENCHMARK_MAIN();

// The roll-back kernel against the straightforward loop on the largest
// lattice the calendar allows, per instruction set and thread count, and
// with values that go subnormal.
#include "BenchGrids.h"
#include "Kernel.h"
#include "KernelThreads.h"
#include "ReferenceStep.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

using namespace kelvaro;

namespace {

// The last kDays days of the largest Normal call, from its expiry values:
// 4000 steps over 6325 nodes.
constexpr int32_t kDays = 40;

CGrid BuiltLargest(double multiplier) {
    CGrid g = LargestLattice(kNormal, true, 0.0);
    g.Warrant.Multiplier = multiplier;
    BuildLattice(g);
    return g;
}

template <typename Day>
void RollBackLastDays(benchmark::State& state, Day day, double multiplier = 0.2) {
    CGrid g = BuiltLargest(multiplier);
    const std::vector<double> expiry = g.Values;
    double updates = 0;
    for (auto _ : state) {
        std::memcpy(g.Values.data(), expiry.data(), expiry.size() * sizeof(double));
        for (int32_t d = g.DayCount - 1; d >= g.DayCount - kDays; --d) {
            day(g, d);
            updates += static_cast<double>(g.DaySteps[d]) * g.NodeCount;
        }
        benchmark::DoNotOptimize(g.Values.data());
    }
    state.counters["updates/s"] = benchmark::Counter(updates, benchmark::Counter::kIsRate);
}

void PlainLoop(benchmark::State& state) {
    RollBackLastDays(state, [](CGrid& g, int32_t d) {
        for (int32_t s = 0; s < g.DaySteps[d]; ++s) ReferenceStep(g);
    });
}

// The kernel in one configuration; registered in main for the instruction
// sets this processor has.
void Kernel(benchmark::State& state, std::string isa, bool threads, bool fma) {
    const std::string original = KernelIsa();
    UseKernelIsa(isa);
    UseKernelThreads(threads);
    UseFmaQuotient(fma);
    RollBackLastDays(state, [](CGrid& g, int32_t d) { RollBackDay(g, d); });
    UseKernelThreads(true);
    UseFmaQuotient(true);
    UseKernelIsa(original);
}

// A multiplier of 1e-310 makes every expiry value subnormal, and most of
// the values rolled back from them; range(0) 1 selects it.
void SubnormalPlainLoop(benchmark::State& state) {
    RollBackLastDays(
        state,
        [](CGrid& g, int32_t d) {
            for (int32_t s = 0; s < g.DaySteps[d]; ++s) ReferenceStep(g);
        },
        state.range(0) ? 1e-310 : 0.2);
}

void SubnormalKernel(benchmark::State& state) {
    UseKernelThreads(false);
    RollBackLastDays(
        state, [](CGrid& g, int32_t d) { RollBackDay(g, d); }, state.range(0) ? 1e-310 : 0.2);
    UseKernelThreads(true);
    state.SetLabel(std::string(KernelIsa()) + ", one thread");
}

// PlainLoop and Kernel run the same 40 days; their times compare directly.

} // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("PlainLoop", PlainLoop)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    // Names: Kernel/<instruction set>/<threads>/<quotients>.
    const std::string widest = KernelIsa();
    for (const char* isa : {"sse2", "avx2", "avx512"}) {
        if (!UseKernelIsa(isa)) continue;
        for (bool threads : {false, true}) {
            for (bool fma : {false, true}) {
                if (fma && std::string(isa) == "sse2") continue; // no FMA in the baseline
                const std::string name = std::string("Kernel/") + isa +
                                         (threads ? "/two-threads" : "/one-thread") +
                                         (fma ? "/fma-quotients" : "/divisions");
                benchmark::RegisterBenchmark(name.c_str(), Kernel, isa, threads, fma)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            }
        }
    }
    UseKernelIsa(widest);
    for (int tiny : {0, 1}) {
        benchmark::RegisterBenchmark("SubnormalPlainLoop", SubnormalPlainLoop)
            ->Arg(tiny)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark("SubnormalKernel", SubnormalKernel)
            ->Arg(tiny)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

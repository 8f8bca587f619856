// The roll-back on the largest lattice the calendar allows: the whole
// valuation, and the kernel against the straightforward loop.
#include "BenchGrids.h"
#include "Kernel.h"
#include "PlainStep.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

namespace {

void WholeValuation(benchmark::State& state, int32_t type, bool call, double dividend) {
    CGrid g = LargestLattice(type, call, dividend);
    for (auto _ : state) {
        if (!BuildLattice(g)) state.SkipWithError("date range rejected");
        for (int32_t day = g.DayCount - 1; day >= 0; --day) RollBackDay(g, day);
        benchmark::DoNotOptimize(g.Values.data());
    }
    state.counters["updates/s"] =
        benchmark::Counter(NodeUpdates(g) * state.iterations(), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(WholeValuation, NormalCall, kNormal, true, 0.0)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// The last kDays days of the largest Normal call, from its expiry values:
// 4000 steps over 6325 nodes.
constexpr int32_t kDays = 40;

CGrid BuiltLargest() {
    CGrid g = LargestLattice(kNormal, true, 0.0);
    BuildLattice(g);
    return g;
}

template <typename Day>
void RollBackLastDays(benchmark::State& state, Day day) {
    CGrid g = BuiltLargest();
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
        for (int32_t s = 0; s < g.DaySteps[d]; ++s) PlainStepBack(g);
    });
}

// range(0): 0 sse2, 1 avx2, 2 avx512; range(1): threads allowed.
void Kernel(benchmark::State& state) {
    const char* isa = state.range(0) == 0 ? "sse2" : state.range(0) == 1 ? "avx2" : "avx512";
    const std::string original = engine_detail::KernelIsa();
    if (!engine_detail::UseKernelIsa(isa)) {
        state.SkipWithError("instruction set not available");
        return;
    }
    engine_detail::UseKernelThreads(state.range(1) != 0);
    RollBackLastDays(state, [](CGrid& g, int32_t d) { RollBackDay(g, d); });
    engine_detail::UseKernelThreads(true);
    engine_detail::UseKernelIsa(original);
    state.SetLabel(std::string(isa) + (state.range(1) ? ", two threads" : ", one thread"));
}

BENCHMARK(PlainLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Kernel)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();

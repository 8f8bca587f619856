// The roll-back kernel against the straightforward loop on the largest
// lattice the calendar allows, per instruction set and thread count, and
// with values that go subnormal.
#include "BenchGrids.h"
#include "Kernel.h"
#include "PlainStep.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

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
        for (int32_t s = 0; s < g.DaySteps[d]; ++s) PlainStepBack(g);
    });
}

// range(0): 0 sse2, 1 avx2, 2 avx512; range(1): threads allowed;
// range(2): FMA-corrected quotients allowed (else every quotient divides).
void Kernel(benchmark::State& state) {
    const char* isa = state.range(0) == 0 ? "sse2" : state.range(0) == 1 ? "avx2" : "avx512";
    const std::string original = engine_detail::KernelIsa();
    if (!engine_detail::UseKernelIsa(isa)) {
        state.SkipWithError("instruction set not available");
        return;
    }
    engine_detail::UseKernelThreads(state.range(1) != 0);
    engine_detail::UseFmaQuotient(state.range(2) != 0);
    RollBackLastDays(state, [](CGrid& g, int32_t d) { RollBackDay(g, d); });
    engine_detail::UseKernelThreads(true);
    engine_detail::UseFmaQuotient(true);
    engine_detail::UseKernelIsa(original);
    state.SetLabel(std::string(isa) + (state.range(1) ? ", two threads" : ", one thread") +
                   (state.range(2) ? ", FMA quotients" : ", divisions only"));
}

// A multiplier of 1e-310 makes every expiry value subnormal, and most of
// the values rolled back from them; range(0) 1 selects it.
void SubnormalPlainLoop(benchmark::State& state) {
    RollBackLastDays(
        state,
        [](CGrid& g, int32_t d) {
            for (int32_t s = 0; s < g.DaySteps[d]; ++s) PlainStepBack(g);
        },
        state.range(0) ? 1e-310 : 0.2);
}

void SubnormalKernel(benchmark::State& state) {
    engine_detail::UseKernelThreads(false);
    RollBackLastDays(
        state, [](CGrid& g, int32_t d) { RollBackDay(g, d); }, state.range(0) ? 1e-310 : 0.2);
    engine_detail::UseKernelThreads(true);
    state.SetLabel(std::string(engine_detail::KernelIsa()) + ", one thread");
}

BENCHMARK(PlainLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Kernel)
    ->ArgsProduct({{0, 1, 2}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(SubnormalPlainLoop)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SubnormalKernel)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();

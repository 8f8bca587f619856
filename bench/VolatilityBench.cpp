// The implied-volatility solve: a 1-year Normal warrant (the window's
// default inputs, expiry a year ahead) and the largest lattice.
#include "BenchGrids.h"
#include "Figures.h"
#include "ImpliedVolatility.h"

#include <benchmark/benchmark.h>

using namespace kelvaro;

namespace {

void Solve(benchmark::State& state, CGrid g, double share, double trueVolatility) {
    // The market price is the lattice's own at a volatility away from the input.
    CGrid priced = g;
    priced.Warrant.Volatility = trueVolatility;
    BuildLattice(priced);
    RollBack(priced);
    const double price = *ValueAtPrice(priced, share);
    int64_t valuations = 0;
    for (auto _ : state) {
        const CImpliedVolatility r = SolveImpliedVolatility(g, share, price);
        if (r.Outcome != VolatilityOutcome::Solved) state.SkipWithError("not solved");
        valuations += r.Valuations;
    }
    state.counters["valuations/solve"] =
        benchmark::Counter(static_cast<double>(valuations), benchmark::Counter::kAvgIterations);
}

CGrid OneYearNormal() {
    CGrid g = LargestLattice(kNormal, true, 0.0);
    g.ValuationTime = g.Warrant.Expiry - 365 - 55.0 / 72 + 10.0 / 24;
    return g;
}

BENCHMARK_CAPTURE(Solve, OneYearNormalCall, OneYearNormal(), 15.0, 0.35)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Solve, LargestNormalCall, LargestLattice(kNormal, true, 0.0), 15.0, 0.35)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK_CAPTURE(Solve, LargestNormalPutDividend, LargestLattice(kNormal, false, 0.3), 14.0, 0.25)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

} // namespace

BENCHMARK_MAIN();

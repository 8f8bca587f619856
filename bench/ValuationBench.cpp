// Whole valuations on the largest lattice the calendar allows: 2000 calendar
// days ending on a Friday, valuation at 10:00, 100 steps a day, exchange
// hours all day, weekend of 2.0 days (1430 days, 200000 steps, 6325 nodes).
#include "Grid.h"

#include <benchmark/benchmark.h>

namespace {

CGrid LargestLattice(int32_t type, bool call, double dividend) {
    CGrid g;
    g.Warrant.ProductType = type;
    g.Warrant.IsCall = call;
    g.Warrant.Strike = 15;
    g.Warrant.Expiry = 38828 + 55.0 / 72; // Friday 21 April 2006 18:20
    g.Warrant.Multiplier = 0.2;
    g.Warrant.Volatility = 0.3;
    g.Warrant.Dividend = dividend;
    g.Warrant.DividendDate = 38807 + 55.0 / 72;
    g.Warrant.KnockOutMargin = type == kTurboSG ? 0.5 : 0.0;
    g.ValuationTime = 38828 - 1999 + 10.0 / 24;
    g.OpenFraction = 1.0;
    g.WeekendWeight = 1.0;
    g.Rate = 0.03;
    g.StepsPerDay = 100;
    return g;
}

void WholeValuation(benchmark::State& state, int32_t type, bool call, double dividend) {
    CGrid g = LargestLattice(type, call, dividend);
    double updates = 0;
    for (auto _ : state) {
        if (!BuildLattice(g)) state.SkipWithError("date range rejected");
        for (int32_t day = g.DayCount - 1; day >= 0; --day) RollBackDay(g, day);
        benchmark::DoNotOptimize(g.Values.data());
        updates += static_cast<double>(g.TotalSteps) * g.NodeCount;
    }
    state.counters["nodes"] = g.NodeCount;
    state.counters["steps"] = g.TotalSteps;
    state.counters["updates/s"] = benchmark::Counter(updates, benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(WholeValuation, NormalCall, kNormal, true, 0.0)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

// The figures' cost against the valuation's on the largest lattice the
// calendar allows at range(0) steps a day: seconds of the valuation with its
// day rows, of FiguresAt's four revaluations, their ratio in valuations, and
// the estimate of both from the measured kernel speed.
#include "BenchGrids.h"
#include "Figures.h"
#include "Kernel.h"
#include "KernelThreads.h"
#include "Workload.h"

#include <benchmark/benchmark.h>

#include <chrono>

using namespace kelvaro;

namespace {

void FiguresCost(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const auto since = [](Clock::time_point t) {
        return std::chrono::duration<double>(Clock::now() - t).count();
    };
    CGrid inputs = LargestLattice(kNormal, true, 0.0);
    inputs.StepsPerDay = static_cast<int32_t>(state.range(0));
    double valuation = 0, figures = 0;
    for (auto _ : state) {
        CGrid g = inputs;
        auto start = Clock::now();
        BuildLattice(g);
        RollBack(g);
        valuation += since(start);
        start = Clock::now();
        const CShareFigures f = FiguresAt(g, 15.0);
        figures += since(start);
        benchmark::DoNotOptimize(f.Vega);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["valuation_s"] = valuation / n;
    state.counters["figures_s"] = figures / n;
    state.counters["valuations"] = figures / valuation;
    CWorkload work;
    WorkloadOf(inputs, true, work);
    state.counters["estimate_s"] = EstimatedSeconds(work, MeasureKernelSpeed());
    state.SetLabel(std::string(KernelIsa()) +
                   (KernelThreadsUsableHere() ? ", revaluations in pairs" : ", one thread"));
}

BENCHMARK(FiguresCost)->Arg(100)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

} // namespace

BENCHMARK_MAIN();

// The value chart on the largest lattice (1430 days, 6325 nodes): a redraw
// after a calculation (SetGrid with the default curves) and a redraw with
// the picture painted at 1200 x 800; the scenario table of the same grid.
#include "BenchGrids.h"
#include "Scenario.h"
#include "ValueChart.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

const CGrid& Largest() {
    static const CGrid grid = [] {
        CGrid g = LargestLattice(kNormal, true, 0.0);
        BuildLattice(g);
        RollBack(g);
        return g;
    }();
    return grid;
}

void ChartRedraw(benchmark::State& state) {
    const CGrid& grid = Largest();
    ValueChart chart;
    chart.resize(1200, 800);
    const std::vector<int32_t> days = DefaultChartDays(grid);
    for (auto _ : state) chart.SetGrid(grid, 16.0, days);
    state.counters["points"] = static_cast<double>(days.size()) * grid.NodeCount;
}

void ChartRedrawAndPaint(benchmark::State& state) {
    const CGrid& grid = Largest();
    ValueChart chart;
    const std::vector<int32_t> days = DefaultChartDays(grid);
    for (auto _ : state) {
        chart.SetGrid(grid, 16.0, days);
        benchmark::DoNotOptimize(chart.RenderImage(QSize(1200, 800)));
    }
}

void ScenarioTableOfLargest(benchmark::State& state) {
    const CGrid& grid = Largest();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            ComputeScenario(grid, DefaultScenarioPrices(15), DefaultScenarioDays(grid), 15));
}

BENCHMARK(ChartRedraw)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ChartRedrawAndPaint)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ScenarioTableOfLargest)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Largest();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// The value chart on the largest lattice (1430 days, 6325 nodes): a redraw
// after a calculation (SetGrid with the default curves), a redraw with the
// picture painted at 1200 x 800, a repaint alone and a wheel zoom step; the
// scenario table of the same grid.
#include "BenchGrids.h"
#include "Scenario.h"
#include "ValueChart.h"

#include <QApplication>

#include <benchmark/benchmark.h>

using namespace kelvaro;

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

// The default curves in a chart window of 1200 x 800.
void ShowLargest(ValueChart& chart) {
    const CGrid& grid = Largest();
    chart.resize(1200, 800);
    chart.SetGrid(grid, 16.0, DefaultChartDays(grid));
    chart.show();
    QCoreApplication::processEvents();
}

// What a resize or a hover costs: the drawn curves painted again.
void ChartPaint(benchmark::State& state) {
    ValueChart chart;
    ShowLargest(chart);
    for (auto _ : state) benchmark::DoNotOptimize(chart.RenderImage(QSize(1200, 800)));
    double drawn = 0;
    for (int c = 0; c < chart.CurveCount(); ++c) drawn += chart.DrawnPoints(c).size();
    state.counters["drawn"] = drawn;
}

// One wheel step in and out about the strike: the curves cut twice.
void ChartZoom(benchmark::State& state) {
    ValueChart chart;
    ShowLargest(chart);
    const auto [low, high] = chart.PriceView();
    for (auto _ : state) {
        chart.ZoomTo(low + 0.1 * (15 - low), high - 0.1 * (high - 15));
        chart.ZoomTo(low, high);
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
BENCHMARK(ChartPaint)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ChartZoom)->Unit(benchmark::kMicrosecond);
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

// The list window's valuation: bench/warrants-200.csv (200 one-year
// warrants of every product, each priced 3 % above its value at 30 %, made
// by make-warrant-list.py) on the pool as the window runs it (rows handed
// back as they finish, no vega or rho), with 1 and 2 threads at 100 and 25
// steps a day. Rows per second, the seconds to the first row, and the
// processor seconds the list took on all threads (a figure a machine shared
// with other work does not inflate).
#include "BatchFile.h"
#include "ListValuation.h"

#include <benchmark/benchmark.h>

#include <chrono>

#include <string>
#include <sys/resource.h>

using namespace kelvaro;

namespace {

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

void ListWindow(benchmark::State& state) {
    const BatchList list = ReadBatchFile(KELVARO_SOURCE_DIR "/bench/warrants-200.csv");
    const InputTexts shared = {{"valuation", "2006-03-01 10:00"},
                               {"expiry", "2007-03-01"},
                               {"steps-per-day", std::to_string(state.range(1))}};
    ListOptions options;
    options.HandBack = ListOptions::kAsFinished;
    options.VegaRho = false;
    int64_t rows = 0, failed = 0;
    double firstRow = 0;
    const double cpuStart = ProcessCpuSeconds();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        bool first = true;
        ListValuation pool(
            list.Header.Columns, shared, static_cast<int>(state.range(0)),
            [&](const ListRow&, const WarrantRun& run) {
                if (first)
                    firstRow +=
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                            .count();
                first = false;
                failed += run.Status != kValued;
                return true;
            },
            options);
        for (const ListRow& row : list.Rows) pool.Submit(row);
        pool.Finish();
        rows += static_cast<int64_t>(list.Rows.size());
    }
    if (failed > 0) state.SkipWithError("rows failed");
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
    state.counters["first row s"] = firstRow / static_cast<double>(state.iterations());
    state.counters["cpu s"] =
        (ProcessCpuSeconds() - cpuStart) / static_cast<double>(state.iterations());
}

BENCHMARK(ListWindow)
    ->ArgNames({"threads", "steps"})
    ->Args({1, 100})
    ->Args({2, 100})
    ->Args({1, 25})
    ->Args({2, 25})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();

// kelvaro --batch: 1000 one-year warrants of every product from a generated
// file, rows per second with 1 and 2 jobs (the argument).
#include "Batch.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

using namespace kelvaro;

namespace {

// Normal, Turbo (SHB) and Turbo (SG), calls and puts, strikes 12 to 18
// around a share at 15, a year from valuation to expiry.
std::string Warrants(int rows) {
    const char* const types[] = {"normal", "turbo-shb", "turbo-sg"};
    std::string csv = "type,side,strike,volatility,share\n";
    for (int i = 0; i < rows; ++i) {
        const bool call = i % 2 == 0;
        const int strike = call ? 12 + i % 4 : 15 + i % 4;
        csv += std::string(types[i % 3]) + (call ? ",call," : ",put,") + std::to_string(strike) +
               "," + std::to_string(20 + i % 20) + ",15\n";
    }
    return csv;
}

void Batch(benchmark::State& state) {
    constexpr int kRows = 1000;
    const std::string path = "/tmp/kelvaro-batch-bench.csv";
    std::ofstream(path) << Warrants(kRows);
    // 25 steps a day keep one pass over the file to tens of seconds.
    const std::vector<std::string> args = {"--batch",         path,
                                           "--valuation",     "2006-03-01 10:00",
                                           "--expiry",        "2007-03-01",
                                           "--steps-per-day", "25",
                                           "--jobs",          std::to_string(state.range(0))};
    for (auto _ : state) {
        std::ifstream in(path);
        std::ostringstream out, err;
        if (RunBatch(args, in, out, err) != 0) state.SkipWithError(err.str().c_str());
    }
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows) * state.iterations(),
                                                  benchmark::Counter::kIsRate);
    std::remove(path.c_str());
}

BENCHMARK(Batch)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();

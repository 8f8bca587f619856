// Whole valuations on the largest lattice the calendar allows, the listing
// text included, and the results file of that grid.
#include "BenchGrids.h"
#include "Kernel.h"
#include "Listing.h"
#include "Memory.h"
#include "ResultsFile.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

using namespace kelvaro;

namespace {

// Build, every RollBackDay and the listing, as the Calculate command runs them.
void WholeValuation(benchmark::State& state, int32_t type, bool call, double dividend) {
    CGrid g = LargestLattice(type, call, dividend);
    size_t listing = 0;
    for (auto _ : state) {
        if (!BuildLattice(g)) state.SkipWithError("date range rejected");
        RollBack(g);
        listing = ListingText(g).size();
    }
    state.counters["updates/s"] =
        benchmark::Counter(NodeUpdates(g) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["listing bytes"] = static_cast<double>(listing);
}

BENCHMARK_CAPTURE(WholeValuation, NormalCall, kNormal, true, 0.0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(WholeValuation, TurboSHBPut, kTurboSHB, false, 0.0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(WholeValuation, TurboSGCallDividend, kTurboSG, true, 0.3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The results file of the largest Normal call: 1430 day columns x 6325 nodes.
void ResultsFile(benchmark::State& state) {
    CGrid g = LargestLattice(kNormal, true, 0.0);
    BuildLattice(g);
    RollBack(g);
    const std::string path = "/tmp/kelvaro_bench_results.txt";
    for (auto _ : state)
        if (WriteResultsFile(path, g, '.') != SaveStatus::Ok) state.SkipWithError("write failed");
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fseek(f, 0, SEEK_END);
        state.counters["bytes"] = static_cast<double>(std::ftell(f));
        std::fclose(f);
    }
    std::remove(path.c_str());
}

BENCHMARK(ResultsFile)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

// Start-up as in the window and kelvaro. --kernel-isa=avx2 (or sse2) runs
// the roll-back on a narrower instruction set than this processor's widest,
// to see what a machine without AVX-512 would do.
int main(int argc, char** argv) {
    KeepFreedMemoryForReuse();
    constexpr const char* kIsaOption = "--kernel-isa=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kIsaOption, std::strlen(kIsaOption)) != 0) continue;
        if (!UseKernelIsa(argv[i] + std::strlen(kIsaOption))) {
            std::fprintf(stderr, "unknown or unsupported instruction set: %s\n", argv[i]);
            return 1;
        }
        std::copy(argv + i + 1, argv + argc, argv + i);
        --argc;
        --i;
    }
    std::fprintf(stderr, "roll-back kernel: %s\n", KernelIsa());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "Workload.h"

#include "EngineInternal.h"
#include "Figures.h"
#include "Kernel.h"
#include "KernelThreads.h"
#include "Lattice.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace kelvaro {

namespace {

constexpr double kShortestRun = 0.25; // seconds

// Revaluations run one after another, or in pairs at the same time.
double RevaluationRounds(const CWorkload& work, const CKernelSpeed& speed) {
    return speed.Pairs ? std::ceil(work.Revaluations / 2.0) : work.Revaluations;
}

double RevaluationSpeed(const CKernelSpeed& speed) {
    return speed.Pairs ? speed.OneThread : speed.Split;
}

// Median node updates per second of five runs of `steps` steps on `grid`,
// and, when `pair` is set, on a copy of it at the same time on a second
// thread (each then on one thread): the pair's rate, both counted.
double TimedRate(const CGrid& grid, int32_t steps, bool pair) {
    using Clock = std::chrono::steady_clock;
    CGrid a = grid, b = grid;
    const engine_detail::StepPlan planA = engine_detail::MakeStepPlan(a);
    const engine_detail::StepPlan planB = engine_detail::MakeStepPlan(b);
    double rates[5];
    for (double& rate : rates) {
        const auto start = Clock::now();
        std::thread second;
        if (pair) {
            second = std::thread([&] {
                UseKernelThreadsOnThisThread(false);
                engine_detail::RollBackSteps(b, planB, steps, nullptr);
            });
        }
        engine_detail::RollBackSteps(a, planA, steps, nullptr);
        if (second.joinable()) second.join();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        rate = (pair ? 2.0 : 1.0) * steps * grid.NodeCount / std::max(seconds, 1e-9);
    }
    std::nth_element(rates, rates + 2, rates + 5);
    return rates[2];
}

} // namespace

CKernelSpeed MeasureKernelSpeed() {
    // A Normal call over seven weeks at 2500 steps a day: some 4300 nodes,
    // enough for the roll-back to split; from the expiry values on, as a
    // valuation starts.
    CGrid g;
    g.Warrant.ProductType = kNormal;
    g.Warrant.IsCall = true;
    g.Warrant.Strike = 15;
    g.Warrant.Multiplier = 0.2;
    g.Warrant.Volatility = 0.3;
    g.Warrant.Expiry = 38828 + 55.0 / 72; // 21 April 2006 18:20
    g.ValuationTime = 38777 + 10.0 / 24;  // 1 March 2006 10:00
    g.OpenFraction = 1;
    g.WeekendWeight = 1;
    g.Rate = 0.03;
    g.StepsPerDay = 2500;
    engine_detail::BuildValuesOnly(g);
    // Some 10 ms a run at 2e9 updates a second: a few of the system's time
    // slices, so that a share of the processors is measured as such.
    constexpr int32_t kSteps = 4096;

    CKernelSpeed speed;
    speed.Pairs = KernelThreadsUsableHere();
    speed.Split = TimedRate(g, kSteps, false);
    if (speed.Pairs) {
        UseKernelThreadsOnThisThread(false);
        speed.OneThread = TimedRate(g, kSteps, true) / 2;
        UseKernelThreadsOnThisThread(true);
    } else {
        speed.OneThread = speed.Split;
    }
    return speed;
}

bool WorkloadOf(const CGrid& inputs, bool withFigures, CWorkload& work) {
    CLatticeSize size;
    if (!LatticeSize(inputs, size)) return false;
    // A revaluation moves the volatility or the rate by a point: the same
    // calendar, and the same nodes but for rounding.
    work.Updates = size.Updates();
    work.Revaluations = withFigures ? kFigureRevaluations : 0;
    return true;
}

double EstimatedSeconds(const CWorkload& work, const CKernelSpeed& speed) {
    if (!(speed.Split > 0) || !(RevaluationSpeed(speed) > 0)) return 0;
    return work.Updates / speed.Split +
           RevaluationRounds(work, speed) * work.Updates / RevaluationSpeed(speed);
}

void LearnSpeed(CKernelSpeed& speed, const CWorkload& work, double valuationSeconds,
                double figuresSeconds) {
    if (valuationSeconds >= kShortestRun) speed.Split = work.Updates / valuationSeconds;
    if (work.Revaluations > 0 && figuresSeconds >= kShortestRun) {
        const double rate = RevaluationRounds(work, speed) * work.Updates / figuresSeconds;
        (speed.Pairs ? speed.OneThread : speed.Split) = rate;
    }
}

} // namespace kelvaro

// The fast roll-back against a plain node-by-node loop: every stored value
// must be bitwise the same, on every instruction set this processor has, on
// one thread and split over two.
#include "Kernel.h"
#include "KernelThreads.h"
#include "ReferenceStep.h"
#include "TestGrids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <utility>

#include <sys/wait.h>
#include <unistd.h>

using namespace kelvaro;

namespace {

void ReferenceDay(CGrid& g, int32_t day) {
    for (int32_t s = 0; s < g.DaySteps[day]; ++s) ReferenceStep(g);
    if (day == g.Warrant.DividendDay) ApplyDividend(g);
    if (day >= 1) g.DayValues[day - 1] = g.Values;
}

// Rolls a copy back with the engine and one with the reference loop and
// compares every row and the present values bit for bit. `beforeDay` runs
// before each of the engine's days.
void ExpectSameRollBack(const CGrid& built, const std::string& what,
                        const std::function<void()>& beforeDay = [] {}) {
    CGrid fast = built, plain = built;
    for (int32_t day = built.DayCount - 1; day >= 0; --day) {
        beforeDay();
        RollBackDay(fast, day);
        ReferenceDay(plain, day);
    }
    for (int32_t d = 0; d < built.DayCount; ++d)
        ASSERT_TRUE(SameBits(fast.DayValues[d], plain.DayValues[d])) << what << ", row " << d;
    ASSERT_TRUE(SameBits(fast.Values, plain.Values)) << what << ", present values";
}

// Runs `body` on every instruction set this processor has, with and without
// the FMA-corrected quotients (which the baseline set never uses), then goes
// back to the widest set with FMA quotients allowed.
void ForEachMode(const std::function<void(const std::string&)>& body) {
    const std::string widest = KernelIsa();
    for (std::string isa : {"avx512", "avx2", "sse2", "scalar"}) {
        if (!UseKernelIsa(isa)) continue;
        for (bool fma : {false, true}) {
            if (fma && (isa == "sse2" || isa == "scalar")) continue;
            UseFmaQuotient(fma);
            body(isa + (fma ? "+fma" : ""));
        }
    }
    UseKernelIsa(widest);
    UseFmaQuotient(true);
}

std::string Product(int32_t type, bool call) {
    return " type " + std::to_string(type) + (call ? " call" : " put");
}

// A hand-made lattice large enough to be split over two threads, with days
// of more and fewer steps than one block and a day without steps but with
// the dividend.
CGrid SplitLattice(int32_t type, bool call) {
    std::vector<double> prices(2501), values(2501);
    for (int32_t i = 0; i < 2501; ++i) {
        prices[i] = 5 * std::pow(1.0005, i);
        values[i] = std::max(0.0, (call ? prices[i] - 8 : 8 - prices[i]) * 0.2);
    }
    CGrid g = SmallLattice(prices, values);
    g.Warrant = {.ProductType = type, .IsCall = call, .Strike = 8, .Dividend = 0.05,
                 .KnockOutMargin = 0.4, .ResidualValue = 0.01, .DividendDay = 2};
    g.PUp = 0.2503, g.PMid = 0.4993, g.PDown = 0.2504, g.GrowthPerStep = 1.0000009;
    g.DaySteps = {3, 129, 0, 140, 1, 2};
    g.DayCount = static_cast<int32_t>(g.DaySteps.size());
    g.DayValues.assign(g.DaySteps.size(), g.Values);
    return g;
}

} // namespace

// Every product and side, with and without a dividend; a tiny multiplier
// that pushes the out-of-the-money tail below DBL_MIN; lattices split over
// two threads; a zone of scattered prices.
TEST(Kernel, RollBackMatchesThePlainLoopBitForBit) {
#ifdef KELVARO_X86_KERNEL
    EXPECT_STRNE(KernelIsa(), "scalar") << "the dispatch picks a vector set by itself";
#endif
    std::vector<std::pair<std::string, CGrid>> grids;
    for (int32_t type : {kNormal, kTurboSHB, kTurboSG})
        for (bool call : {true, false}) {
            for (double dividend : {0.0, 0.3}) {
                CGrid g = WorkedExample(type, call);
                g.StepsPerDay = 20; // a few hundred nodes, a few dozen days
                g.Warrant.Dividend = dividend;
                ASSERT_TRUE(BuildLattice(g));
                ASSERT_EQ(g.Warrant.DividendDay >= 0, dividend != 0);
                grids.emplace_back(Product(type, call) + (dividend != 0 ? " with dividend" : ""), g);
            }
            grids.emplace_back(" split" + Product(type, call), SplitLattice(type, call));
        }
    for (bool call : {true, false}) { // the Turbo lattices end at the strike: no such tail
        CGrid g = WorkedExample(kNormal, call);
        g.StepsPerDay = 20;
        g.Warrant.Multiplier = 1e-305;
        ASSERT_TRUE(BuildLattice(g));
        CGrid rolled = g;
        RollBack(rolled);
        int subnormals = 0;
        for (const auto& row : rolled.DayValues)
            for (double v : row) subnormals += std::fpclassify(v) == FP_SUBNORMAL;
        EXPECT_GT(subnormals, 100);
        grids.emplace_back(" tiny multiplier" + Product(kNormal, call), g);
    }
    // Prices out of order put every other interior node in the Turbo (SG)
    // zone, which is then tested node by node.
    CGrid scattered = SmallLattice({10, 13, 11, 14, 12, 15}, {1, 4, 2, 5, 3, 6});
    scattered.Warrant = {.ProductType = kTurboSG, .IsCall = true, .Strike = 11.5,
                         .KnockOutMargin = 0.5, .ResidualValue = 0.7, .DividendDay = -1};
    scattered.GrowthPerStep = 1.01;
    scattered.DaySteps = {5};
    grids.emplace_back(" scattered zone", scattered);
    ForEachMode([&](const std::string& mode) {
        for (const auto& [what, g] : grids) ExpectSameRollBack(g, mode + what);
    });
    // The first block of every day on the calling thread alone, as when the
    // helper's processor is busy: the split and the lone blocks must meet.
    for (bool call : {true, false})
        ExpectSameRollBack(SplitLattice(kTurboSG, call), "alone, then split",
                           [] { engine_detail::RunNextBlocksAlone(1); });
}

// A forked child has no helper thread: its roll-back must run alone, not
// wait for a thread that is not there.
TEST(Kernel, ForkedChildRollsBackOnItsOwn) {
    CGrid parent = SplitLattice(kNormal, true);
    RollBack(parent); // starts the helper thread
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CGrid g = SplitLattice(kNormal, true);
        RollBack(g);
        _exit(g.DayValues == parent.DayValues ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Kernel, QuotientsAcrossTheWholeExponentRangeAreCorrectlyRounded) {
    // Random values from subnormal to 2^997, zeros included, and growths from
    // 1 to just below 2: the FMA-corrected quotient must equal the division
    // everywhere, the floor below which lanes divide included.
    std::mt19937_64 random(20060421);
    ForEachMode([&](const std::string& mode) {
        for (double growth : {1.0, 1.0 + 0x1p-52, 1.0000008098, 1.0000002, 1.37, 1.9999999999999998}) {
            CGrid g = SmallLattice(std::vector<double>(2000), std::vector<double>(2000));
            uint64_t exponent = 1;
            for (int32_t i = 0; i < 2000; ++i) {
                g.Prices[i] = 10 + 0.01 * i;
                // Runs of 16 nodes share a binade, half of them near the floor
                // (2^-1022 to 2^-903), the others anywhere up to 2^997.
                if (i % 16 == 0) exponent = 1 + random() % (random() % 2 ? 120 : 2020);
                const uint64_t bits = exponent << 52 | (random() >> 12);
                std::memcpy(&g.Values[i], &bits, sizeof bits);
                if (i % 97 == 0) g.Values[i] = 0;
                if (i % 89 == 0) g.Values[i] = std::ldexp(g.Values[i], -60); // subnormal
            }
            g.PUp = 0.2500004, g.PMid = 0.4998086, g.PDown = 0.2501910, g.GrowthPerStep = growth;
            g.DaySteps = {2};
            ExpectSameRollBack(g, mode + " growth " + std::to_string(growth));
        }
    });
}

TEST(Kernel, OverflowThrowsAtTheSameStepAndKeepsTheLastFiniteValues) {
    CGrid split = SplitLattice(kNormal, true); // split over two threads
    std::fill(split.Values.begin(), split.Values.end(), 1e-100);
    split.GrowthPerStep = 0.01;  // values grow 100-fold a step: overflow
    split.DaySteps.back() = 300; // near step 205, in the day's second block
    CGrid small = SmallLattice({10, 11, 12, 13}, {1e300, 1e300, 1e300, 1e300});
    small.PUp = 0.6, small.PMid = 0.6, small.PDown = -0.2, small.GrowthPerStep = 0.9;
    small.DaySteps = {200};
    for (const CGrid& grid : {split, small}) {
        SCOPED_TRACE(testing::Message() << grid.NodeCount << " nodes");
        CGrid fast = grid, plain = grid;
        EXPECT_THROW(RollBackDay(fast, grid.DayCount - 1), EngineError);
        EXPECT_THROW(ReferenceDay(plain, grid.DayCount - 1), EngineError);
        EXPECT_TRUE(SameBits(fast.Values, plain.Values));
        EXPECT_TRUE(SameBits(fast.Scratch, plain.Scratch));
        for (double v : fast.Values) ASSERT_TRUE(std::isfinite(v));
    }
}

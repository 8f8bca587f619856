// The fast roll-back against a plain node-by-node loop: every stored value
// must be bitwise the same, on every instruction set this processor has, on
// one thread and split over two.
#include "Kernel.h"
#include "TestGrids.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <utility>

namespace {

// One backward step exactly as the rules read: copy, then one node at a time.
void ReferenceStep(CGrid& g) {
    const CWarrant& w = g.Warrant;
    const int32_t n = g.NodeCount;
    g.Scratch = g.Values;
    const double* S = g.Scratch.data();
    const double* P = g.Prices.data();
    const double pu = g.PUp, pm = g.PMid, pd = g.PDown;
    const bool call = w.IsCall;
    double check = 0;
    for (int32_t i = 0; i < n; ++i) {
        const double lowExtrapolation = (2 * pd + pm) * S[0] + (pu - pd) * S[1];
        const double highExtrapolation = (2 * pu + pm) * S[n - 1] + (pd - pu) * S[n - 2];
        double raw;
        if (i == 0) {
            if (w.ProductType == kTurboSHB && call) raw = pu * S[1] + 0.5 * pm * S[0];
            else if (w.ProductType == kTurboSG && call) raw = 0;
            else raw = lowExtrapolation;
        } else if (i == n - 1) {
            if (w.ProductType == kTurboSHB && !call) raw = pd * S[n - 2] + 0.5 * pm * S[n - 1];
            else if (w.ProductType == kTurboSG && !call) raw = 0;
            else raw = highExtrapolation;
        } else if (w.ProductType == kTurboSG &&
                   (call ? P[i] <= w.Strike + w.KnockOutMargin : P[i] >= w.Strike - w.KnockOutMargin)) {
            raw = w.ResidualValue;
        } else {
            raw = pu * S[i + 1] + pm * S[i] + pd * S[i - 1];
        }
        const double floored = raw > 0 ? raw : 0.0;
        const double v = floored / g.GrowthPerStep;
        check += raw * 0.0;
        check += v * 0.0;
        g.Values[i] = v;
    }
    if (check != 0) {
        // The step is not kept: Values goes back to the last finite one.
        std::swap(g.Values, g.Scratch);
        throw EngineError("overflow");
    }
}

void ReferenceDay(CGrid& g, int32_t day) {
    for (int32_t s = 0; s < g.DaySteps[day]; ++s) ReferenceStep(g);
    if (day == g.Warrant.DividendDay) ApplyDividend(g);
    if (day >= 1) g.DayValues[day - 1] = g.Values;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
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

// One way of running the kernel: an instruction set, with or without the
// FMA-corrected quotients (which the baseline set never uses).
struct KernelMode {
    std::string Isa;
    bool Fma;
    std::string Name() const { return Isa + (Fma ? "+fma" : ""); }
    void Use() const {
        ASSERT_TRUE(engine_detail::UseKernelIsa(Isa));
        engine_detail::UseFmaQuotient(Fma);
    }
};

std::vector<KernelMode> SupportedModes() {
    const std::string original = engine_detail::KernelIsa();
    std::vector<KernelMode> modes;
    for (const char* name : {"avx512", "avx2", "sse2"}) {
        if (!engine_detail::UseKernelIsa(name)) continue;
        modes.push_back({name, false});
        if (std::string(name) != "sse2") modes.push_back({name, true});
    }
    engine_detail::UseKernelIsa(original);
    return modes;
}

// Restores the widest instruction set and the FMA quotients when a test ends.
struct ModeGuard {
    std::string original = engine_detail::KernelIsa();
    ~ModeGuard() {
        engine_detail::UseKernelIsa(original);
        engine_detail::UseFmaQuotient(true);
    }
};

int CountSubnormals(const CGrid& g) {
    int count = 0;
    for (const auto& row : g.DayValues)
        for (double v : row) count += std::fpclassify(v) == FP_SUBNORMAL;
    return count;
}

// A hand-made lattice large enough to be split over two threads, with days
// of more and fewer steps than one block and a day without steps.
CGrid SplitLattice(int32_t type, bool call) {
    const int32_t n = 2501;
    std::vector<double> prices(n), values(n);
    for (int32_t i = 0; i < n; ++i) {
        prices[i] = 5 * std::pow(1.0005, i);
        values[i] = std::max(0.0, (call ? prices[i] - 8 : 8 - prices[i]) * 0.2);
    }
    CGrid g = SmallLattice(prices, values);
    g.Warrant.ProductType = type;
    g.Warrant.IsCall = call;
    g.Warrant.Strike = 8;
    g.Warrant.KnockOutMargin = 0.4;
    g.Warrant.ResidualValue = 0.01;
    g.Warrant.Dividend = 0.05;
    g.PUp = 0.2503;
    g.PMid = 0.4993;
    g.PDown = 0.2504;
    g.GrowthPerStep = 1.0000009;
    g.DaySteps = {3, 129, 0, 140, 1, 2};
    g.DayCount = static_cast<int32_t>(g.DaySteps.size());
    g.DayDates.assign(g.DaySteps.size(), 0.0);
    g.DayValues.assign(g.DaySteps.size(), g.Values);
    g.Warrant.DividendDay = 3;
    return g;
}

} // namespace

TEST(Kernel, RollBackMatchesThePlainLoopBitForBit) {
    ModeGuard guard;
    for (const KernelMode& mode : SupportedModes()) {
        mode.Use();
        const std::string isa = mode.Name();
        for (int32_t type : {kNormal, kTurboSHB, kTurboSG}) {
            for (bool call : {true, false}) {
                for (double dividend : {0.0, 0.3}) {
                    CGrid g = WorkedExample(type, call);
                    g.StepsPerDay = 20; // a few hundred nodes, a few dozen days
                    g.Warrant.Dividend = dividend;
                    ASSERT_TRUE(BuildLattice(g));
                    ASSERT_EQ(g.Warrant.DividendDay >= 0, dividend != 0);
                    ExpectSameRollBack(g, isa + " type " + std::to_string(type) +
                                              (call ? " call" : " put") +
                                              (dividend != 0 ? " with dividend" : ""));
                }
            }
        }
    }
}

TEST(Kernel, SubnormalValuesMatchThePlainLoop) {
    ModeGuard guard;
    for (const KernelMode& mode : SupportedModes()) {
        mode.Use();
        const std::string isa = mode.Name();
        for (bool call : {true, false}) {
            // A tiny multiplier pushes the out-of-the-money tail below
            // DBL_MIN (the Turbo lattices end at the strike: no such tail).
            CGrid g = WorkedExample(kNormal, call);
            g.StepsPerDay = 20;
            g.Warrant.Multiplier = 1e-305;
            ASSERT_TRUE(BuildLattice(g));
            ExpectSameRollBack(g, isa + " tiny multiplier" + (call ? " call" : " put"));
            RollBackAll(g);
            EXPECT_GT(CountSubnormals(g), 100) << isa;
        }
    }
}

TEST(Kernel, SplitOverTwoThreadsMatchesThePlainLoop) {
    ModeGuard guard;
    for (const KernelMode& mode : SupportedModes()) {
        mode.Use();
        const std::string isa = mode.Name();
        for (int32_t type : {kNormal, kTurboSHB, kTurboSG})
            for (bool call : {true, false})
                ExpectSameRollBack(SplitLattice(type, call),
                                   isa + " split, type " + std::to_string(type) + (call ? " call" : " put"));
    }
    // The first block of every day on the calling thread alone, as when the
    // helper's processor is busy: the split and the lone blocks must meet.
    for (bool call : {true, false})
        ExpectSameRollBack(SplitLattice(kTurboSG, call), "alone, then split",
                           [] { engine_detail::RunNextBlocksAlone(1); });
}

TEST(Kernel, QuotientsAcrossTheWholeExponentRangeAreCorrectlyRounded) {
    // Random positive values from subnormal to 2^1000 and growths from 1 to
    // just below 2: the FMA-corrected quotient must equal the division
    // everywhere, the floor below which lanes divide included.
    ModeGuard guard;
    std::mt19937_64 random(20060421);
    const double growths[] = {1.0, 1.0 + 0x1p-52, 1.0000008098, 1.0000002, 1.37, 1.9999999999999998};
    for (const KernelMode& mode : SupportedModes()) {
        mode.Use();
        for (double growth : growths) {
            std::vector<double> prices(2000), values(2000);
            uint64_t exponent = 1;
            for (size_t i = 0; i < prices.size(); ++i) {
                prices[i] = 10 + 0.01 * static_cast<double>(i);
                // Runs of 16 nodes share a binade, half of them near the floor
                // (2^-1022 to 2^-903), the others anywhere up to 2^997.
                if (i % 16 == 0) exponent = 1 + random() % (random() % 2 ? 120 : 2020);
                const uint64_t bits = exponent << 52 | (random() >> 12);
                std::memcpy(&values[i], &bits, sizeof bits);
                if (i % 97 == 0) values[i] = 0;
                if (i % 89 == 0) values[i] = std::ldexp(values[i], -60); // subnormal
            }
            CGrid g = SmallLattice(prices, values);
            g.PUp = 0.2500004, g.PMid = 0.4998086, g.PDown = 0.2501910, g.GrowthPerStep = growth;
            g.DaySteps = {2};
            CGrid plain = g;
            RollBackDay(g, 0);
            ReferenceDay(plain, 0);
            ASSERT_TRUE(SameBits(g.Values, plain.Values)) << mode.Name() << " growth " << growth;
        }
    }
}

TEST(Kernel, SingleStepKeepsTheOldValuesInScratch) {
    CGrid g = WorkedExample(kTurboSG, false);
    ASSERT_TRUE(BuildLattice(g));
    CGrid plain = g;
    const std::vector<double> before = g.Values;
    for (int s = 0; s < 3; ++s) {
        StepBack(g);
        ReferenceStep(plain);
        ASSERT_TRUE(SameBits(g.Values, plain.Values)) << "step " << s;
    }
    StepBack(g);
    ASSERT_TRUE(SameBits(g.Scratch, plain.Values));
}

TEST(Kernel, ZoneThatIsNotOneRunIsTestedNodeByNode) {
    // Prices out of order put every other interior node in the zone.
    CGrid g = SmallLattice({10, 13, 11, 14, 12, 15}, {1, 4, 2, 5, 3, 6});
    g.Warrant.ProductType = kTurboSG;
    g.Warrant.IsCall = true;
    g.Warrant.Strike = 11.5;
    g.Warrant.KnockOutMargin = 0.5;
    g.Warrant.ResidualValue = 0.7;
    g.PUp = 0.3, g.PMid = 0.5, g.PDown = 0.2, g.GrowthPerStep = 1.01;
    g.DaySteps = {5};
    CGrid plain = g;
    RollBackDay(g, 0);
    ReferenceDay(plain, 0);
    EXPECT_TRUE(SameBits(g.Values, plain.Values));
    EXPECT_EQ(g.Values[2], plain.Values[2]);
}

TEST(Kernel, OverflowThrowsAtTheSameStepAndKeepsTheLastFiniteValues) {
    struct Case {
        const char* name;
        CGrid grid;
    };
    CGrid growing = SplitLattice(kNormal, true); // split over two threads
    for (double& v : growing.Values) v = 1e-100;
    growing.GrowthPerStep = 0.01;  // values grow 100-fold a step: overflow
    growing.DaySteps.back() = 300; // near step 205, in the day's second block
    CGrid small = SmallLattice({10, 11, 12, 13}, {1e300, 1e300, 1e300, 1e300});
    small.PUp = 0.6, small.PMid = 0.6, small.PDown = -0.2, small.GrowthPerStep = 0.9;
    small.DaySteps = {200};
    for (Case c : {Case{"split", growing}, Case{"small", small}}) {
        CGrid fast = c.grid, plain = c.grid;
        const int32_t day = c.grid.DayCount - 1;
        EXPECT_THROW(RollBackDay(fast, day), EngineError) << c.name;
        EXPECT_THROW(ReferenceDay(plain, day), EngineError) << c.name;
        EXPECT_TRUE(SameBits(fast.Values, plain.Values)) << c.name;
        EXPECT_TRUE(SameBits(fast.Scratch, plain.Scratch)) << c.name;
        for (double v : fast.Values) ASSERT_TRUE(std::isfinite(v)) << c.name;
    }
}

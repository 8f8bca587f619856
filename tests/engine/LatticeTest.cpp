#include "TestGrids.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace kelvaro;

TEST(Lattice, WorkedExampleParameters) {
    const CGrid g = Built(WorkedExample());
    EXPECT_EQ(g.NodeCount, 1021);
    EXPECT_NEAR(g.GrowthPerStep, 1.00000080983, 1e-11);
    EXPECT_NEAR(g.PriceMin, 4.834178, 1e-6);
    EXPECT_NEAR(g.PriceMax, 46.54359, 1e-5);
    EXPECT_NEAR(g.Prices[1] / g.Prices[0], 1.00222274, 1e-8);
    EXPECT_NEAR(g.PUp, 0.2500004, 1e-7);
    EXPECT_NEAR(g.PMid, 0.4998086, 1e-7);
    EXPECT_NEAR(g.PDown, 0.2501910, 1e-7);
    EXPECT_EQ(g.Prices[0], g.PriceMin);
    EXPECT_NEAR(g.Prices[510], 15.0, 1e-9);
    EXPECT_NEAR(g.Prices.back(), g.PriceMax, 1e-9);
    for (int i = 1; i < g.NodeCount; ++i) ASSERT_LT(g.Prices[i - 1], g.Prices[i]);
    for (int i = 0; i < g.NodeCount; ++i) ASSERT_EQ(g.Values[i], Payoff(g, g.Prices[i])) << i;
    EXPECT_EQ(g.DayValues.back(), g.Values);
    // Rows no roll-back has filled yet hold zeros.
    for (int d = 0; d + 1 < g.DayCount; ++d)
        ASSERT_EQ(g.DayValues[d], std::vector<double>(g.NodeCount, 0.0)) << "row " << d;
}

TEST(Lattice, TurboHalfLatticeKeepsRatioAndProbabilities) {
    const CGrid normal = Built(WorkedExample());
    for (bool call : {true, false}) {
        const CGrid g = Built(WorkedExample(kTurboSHB, call));
        EXPECT_EQ(g.NodeCount, 511);
        EXPECT_NEAR(g.PriceMin, call ? 15.0 : 4.834178, 1e-6);
        EXPECT_NEAR(g.PriceMax, call ? 46.54359 : 15.0, 1e-5);
        EXPECT_TRUE(!call || g.Prices[0] == 15.0) << "a Turbo call's lowest node is exactly the strike";
        EXPECT_EQ(g.Warrant.ResidualValue, 0.0) << "Turbo (SHB) has no margin";
        // The Normal lattice's half on the live side of the strike: the same
        // nodes, ratio and branch weights.
        const int32_t offset = call ? normal.NodeCount / 2 : 0;
        for (int32_t i = 0; i < g.NodeCount; ++i)
            ASSERT_NEAR(g.Prices[i], normal.Prices[offset + i], 1e-12 * g.Prices[i]) << i;
        EXPECT_NEAR(g.PUp, normal.PUp, 1e-12);
        EXPECT_NEAR(g.PMid, normal.PMid, 1e-12);
        EXPECT_NEAR(g.PDown, normal.PDown, 1e-12);
    }
}

TEST(Lattice, ZeroRateAndSingleStep) {
    CGrid g = WorkedExample();
    g.Rate = 0;
    g.Warrant.Expiry = 38777 + k1820; // valuation day only
    g.StepsPerDay = 1;
    ASSERT_TRUE(BuildLattice(g));
    EXPECT_EQ(g.TotalSteps, 1);
    EXPECT_EQ(g.NodeCount, 15);
    EXPECT_EQ(g.GrowthPerStep, 1.0);

    g.Warrant.ProductType = kTurboSG;
    ASSERT_TRUE(BuildLattice(g));
    EXPECT_EQ(g.NodeCount, 8);
}

TEST(Lattice, PayoffOnBothSides) {
    CGrid g = WorkedExample();
    struct Case { double price, call, put; };
    for (const Case& c : {Case{10, 0, 1}, Case{15, 0, 0}, Case{20, 1, 0}})
        for (bool call : {true, false}) {
            g.Warrant.IsCall = call;
            const double v = Payoff(g, c.price);
            EXPECT_DOUBLE_EQ(v, call ? c.call : c.put) << c.price;
            EXPECT_FALSE(std::signbit(v)) << "no negative zero";
        }
}

// A rebuild of the same shape refills the last build's day rows in place;
// nothing of the earlier valuation may show through.
TEST(Lattice, RebuildOfTheSameShapeStartsFromClearRows) {
    CGrid g = WorkedExample();
    ASSERT_TRUE(BuildLattice(g));
    RollBack(g);

    const double* row0 = g.DayValues[0].data();
    g.Warrant.Volatility = 0.45;
    ASSERT_TRUE(BuildLattice(g));
    CGrid fresh = WorkedExample();
    fresh.Warrant.Volatility = 0.45;
    fresh = Built(fresh);
    ASSERT_EQ(g.NodeCount, fresh.NodeCount);
    EXPECT_EQ(g.DayValues[0].data(), row0) << "the rows are reused";
    EXPECT_EQ(g.DayValues, fresh.DayValues);
    EXPECT_EQ(g.Values, fresh.Values);
    RollBack(g);
    RollBack(fresh);
    EXPECT_EQ(g.DayValues, fresh.DayValues);
}

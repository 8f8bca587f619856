#include "TestGrids.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>

namespace {

struct BadInput {
    const char* name;
    std::function<void(CGrid&)> spoil;
};

} // namespace

TEST(EngineErrors, InputsWithoutAValuationThrowAndKeepTheLastBuild) {
    const BadInput cases[] = {
        {"open fraction 0", [](CGrid& g) { g.OpenFraction = 0; }},
        {"open fraction above 1", [](CGrid& g) { g.OpenFraction = 1.01; }},
        {"steps per day 0", [](CGrid& g) { g.StepsPerDay = 0; }},
        {"volatility 0", [](CGrid& g) { g.Warrant.Volatility = 0; }},
        {"volatility underflows", [](CGrid& g) { g.Warrant.Volatility = 1e-200; }},
        {"strike 0", [](CGrid& g) { g.Warrant.Strike = 0; }},
        {"negative multiplier", [](CGrid& g) { g.Warrant.Multiplier = -0.2; }},
        {"rate -100 %", [](CGrid& g) { g.Rate = -1; }},
        {"negative weekend", [](CGrid& g) { g.WeekendWeight = -0.5; }},
        {"NaN dividend", [](CGrid& g) { g.Warrant.Dividend = NAN; }},
        {"late on the expiry day", [](CGrid& g) { g.ValuationTime = 38828 + 18.5 / 24; }},
        {"one-node lattice", [](CGrid& g) { g.ValuationTime = 38828 + k1820; }},
        {"steps overflow 32 bits", [](CGrid& g) { g.StepsPerDay = 2000000000; }},
        {"huge volatility", [](CGrid& g) { g.Warrant.Volatility = 1e150; }},
        {"arrays beyond memory", [](CGrid& g) {
             g.StepsPerDay = 1500000;
             g.WeekendWeight = 0;
             g.ValuationTime = 38828 - 1999 + 10.0 / 24;
         }},
    };
    for (const BadInput& c : cases) {
        CGrid g = WorkedExample();
        ASSERT_TRUE(BuildLattice(g));
        const std::vector<double> prices = g.Prices;
        const int32_t days = g.DayCount, steps = g.TotalSteps;
        c.spoil(g);
        EXPECT_THROW(BuildLattice(g), EngineError) << c.name;
        EXPECT_TRUE(g.Allocated) << c.name;
        EXPECT_EQ(g.DayCount, days) << c.name;
        EXPECT_EQ(g.TotalSteps, steps) << c.name;
        EXPECT_EQ(g.Prices, prices) << c.name;
        EXPECT_EQ(g.DayValues.size(), static_cast<size_t>(days)) << c.name;
    }
}

TEST(EngineErrors, FirstBuildThatThrowsAllocatesNothing) {
    CGrid g = WorkedExample();
    g.Warrant.Strike = 0;
    EXPECT_THROW(BuildLattice(g), EngineError);
    EXPECT_FALSE(g.Allocated);
    EXPECT_EQ(g.NodeCount, 0);
    EXPECT_TRUE(g.Prices.empty() && g.DayValues.empty());
    EXPECT_THROW(RollBackDay(g, 0), EngineError);
}

TEST(EngineErrors, RollBackOverflowThrows) {
    CGrid g = SmallLattice({10, 11, 12}, {DBL_MAX, DBL_MAX, DBL_MAX});
    g.PUp = 0.3, g.PMid = 0.5, g.PDown = 0.2, g.GrowthPerStep = 0.5;
    EXPECT_THROW(StepBack(g), EngineError);

    CGrid sum = SmallLattice({10, 11, 12}, {DBL_MAX, DBL_MAX, DBL_MAX});
    sum.PUp = 0.6, sum.PMid = 0.6, sum.PDown = -0.2, sum.GrowthPerStep = 1;
    EXPECT_THROW(StepBack(sum), EngineError) << "an overflowing sum is not floored to 0";
}

TEST(EngineErrors, DividendOverflowKeepsTheValuesBeforeIt) {
    CGrid g = SmallLattice({10, 10.001, 10.002}, {1, 1e-300, 4});
    g.Warrant.Dividend = 0.5; // continued geometrically far below the grid
    EXPECT_THROW(ApplyDividend(g), EngineError);
    EXPECT_EQ(g.Values, (std::vector<double>{1, 1e-300, 4}));
}

#include "TestGrids.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

CGrid ThreeNodes(int32_t type, bool call) {
    CGrid g = SmallLattice({10, 11, 12}, {1, 2, 4});
    g.Warrant.ProductType = type;
    g.Warrant.IsCall = call;
    g.PUp = 0.3;
    g.PMid = 0.5;
    g.PDown = 0.2;
    g.GrowthPerStep = 1;
    return g;
}

} // namespace

TEST(StepBack, WorkedStepAndBoundaryRules) {
    CGrid normal = ThreeNodes(kNormal, true);
    StepBack(normal);
    EXPECT_NEAR(normal.Values[0], 1.1, 1e-15);
    EXPECT_NEAR(normal.Values[1], 2.4, 1e-15);
    EXPECT_NEAR(normal.Values[2], 4.2, 1e-15);
    EXPECT_EQ(normal.Scratch, (std::vector<double>{1, 2, 4}));

    CGrid shbCall = ThreeNodes(kTurboSHB, true);
    StepBack(shbCall);
    EXPECT_NEAR(shbCall.Values[0], 0.85, 1e-15);
    CGrid shbPut = ThreeNodes(kTurboSHB, false);
    StepBack(shbPut);
    EXPECT_NEAR(shbPut.Values[2], 1.4, 1e-15);

    // A negative extrapolation is floored; the growth divides every node.
    CGrid falling = SmallLattice({10, 11, 12}, {0, 5, 0});
    falling.PUp = 0.3, falling.PMid = 0.5, falling.PDown = 0.2, falling.GrowthPerStep = 1.25;
    StepBack(falling);
    EXPECT_NEAR(falling.Values[0], 0.5 / 1.25, 1e-15);
    EXPECT_EQ(falling.Values[2], 0.0);
}

TEST(StepBack, TurboSGStopLossZoneAndZeroNode) {
    CGrid call = ThreeNodes(kTurboSG, true);
    call.Warrant.Strike = 10;
    call.Warrant.KnockOutMargin = 1; // the level is node 1's price exactly
    call.Warrant.ResidualValue = 0.3;
    call.GrowthPerStep = 1.5;
    StepBack(call);
    EXPECT_EQ(call.Values[0], 0.0);
    EXPECT_EQ(call.Values[1], 0.3 / 1.5);
    EXPECT_NEAR(call.Values[2], (1.1 * 4 - 0.1 * 2) / 1.5, 1e-15);

    CGrid put = ThreeNodes(kTurboSG, false);
    put.Warrant.Strike = 12;
    put.Warrant.KnockOutMargin = 1;
    put.Warrant.ResidualValue = -1; // a negative residual is floored
    StepBack(put);
    EXPECT_EQ(put.Values[2], 0.0);
    EXPECT_EQ(put.Values[1], 0.0);
    EXPECT_NEAR(put.Values[0], 0.9 * 1 + 0.1 * 2, 1e-15);
}

TEST(ApplyDividend, WorkedDividendAndEdges) {
    CGrid g = SmallLattice({10, 11, 12}, {1, 2, 4});
    g.Warrant.Dividend = 0.5;
    ApplyDividend(g);
    EXPECT_NEAR(g.Values[0], std::pow(2.0, -0.5), 1e-15);
    EXPECT_NEAR(g.Values[1], 1.5, 1e-15);
    EXPECT_NEAR(g.Values[2], 3.0, 1e-15);

    CGrid exact = SmallLattice({10, 11, 12}, {1, 2, 4});
    exact.Warrant.Dividend = 1; // node 1 less the dividend lands on node 0
    ApplyDividend(exact);
    EXPECT_EQ(exact.Values[1], 1.0);
    EXPECT_EQ(exact.Values[2], 2.0);

    CGrid worthless = SmallLattice({10, 11, 12}, {0, 2, 4});
    worthless.Warrant.Dividend = 0.5;
    ApplyDividend(worthless);
    EXPECT_EQ(worthless.Values[0], 0.0);

    CGrid zeroNext = SmallLattice({10, 11, 12}, {3, 0, 0});
    zeroNext.Warrant.Dividend = 0.5;
    ApplyDividend(zeroNext);
    EXPECT_EQ(zeroNext.Values[0], 3.0) << "no power of a zero base";
}

TEST(ApplyDividend, NegativeDividendExtendsTheTopLine) {
    CGrid g = SmallLattice({10, 11, 12}, {1, 2, 4});
    g.Warrant.Dividend = -0.5;
    ApplyDividend(g);
    EXPECT_NEAR(g.Values[0], 1.5, 1e-15);
    EXPECT_NEAR(g.Values[1], 3.0, 1e-15);
    EXPECT_NEAR(g.Values[2], 5.0, 1e-15) << "line through the two highest nodes";
}

TEST(RollBackDay, StepsDividendAndSnapshot) {
    CGrid g = ThreeNodes(kNormal, true);
    g.DayCount = 2;
    g.DaySteps = {0, 1};
    g.DayDates = {0, 1};
    g.DayValues.assign(2, g.Values);
    g.Warrant.Dividend = 0.5;
    g.Warrant.DividendDay = 0;
    RollBackDay(g, 1);
    EXPECT_NEAR(g.DayValues[0][1], 2.4, 1e-15);
    const std::vector<double> before = g.Values;
    RollBackDay(g, 0); // no steps, only the dividend; no row for day 0
    EXPECT_NE(g.Values, before);
    EXPECT_NEAR(g.DayValues[0][1], 2.4, 1e-15);
    EXPECT_THROW(RollBackDay(g, 2), EngineError);
    EXPECT_THROW(RollBackDay(g, -1), EngineError);
}

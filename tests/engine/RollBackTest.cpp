#include "TestGrids.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace kelvaro;

namespace {

CGrid ThreeNodes(int32_t type, bool call) {
    CGrid g = SmallLattice({10, 11, 12}, {1, 2, 4});
    g.Warrant.ProductType = type;
    g.Warrant.IsCall = call;
    return g;
}

void ExpectValues(const std::vector<double>& got, const std::vector<double>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-15) << "node " << i;
}

} // namespace

TEST(StepBack, WorkedStepAndBoundaryRules) {
    CGrid normal = ThreeNodes(kNormal, true);
    StepBack(normal);
    ExpectValues(normal.Values, {1.1, 2.4, 4.2});
    EXPECT_EQ(normal.Scratch, (std::vector<double>{1, 2, 4})) << "Scratch keeps the old values";

    CGrid shbCall = ThreeNodes(kTurboSHB, true), shbPut = ThreeNodes(kTurboSHB, false);
    StepBack(shbCall);
    StepBack(shbPut);
    EXPECT_NEAR(shbCall.Values[0], 0.85, 1e-15);
    EXPECT_NEAR(shbPut.Values[2], 1.4, 1e-15);

    // A negative extrapolation is floored; the growth divides every node.
    CGrid falling = SmallLattice({10, 11, 12}, {0, 5, 0});
    falling.GrowthPerStep = 1.25;
    StepBack(falling);
    ExpectValues(falling.Values, {0.5 / 1.25, 2.5 / 1.25, 0});
}

TEST(StepBack, TurboSGStopLossZoneAndZeroNode) {
    CGrid call = ThreeNodes(kTurboSG, true);
    call.Warrant.Strike = 10;
    call.Warrant.KnockOutMargin = 1; // the level is node 1's price exactly
    call.Warrant.ResidualValue = 0.3;
    call.GrowthPerStep = 1.5;
    StepBack(call);
    ExpectValues(call.Values, {0, 0.3 / 1.5, (1.1 * 4 - 0.1 * 2) / 1.5});

    CGrid put = ThreeNodes(kTurboSG, false);
    put.Warrant.Strike = 12;
    put.Warrant.KnockOutMargin = 1;
    put.Warrant.ResidualValue = -1; // a negative residual is floored
    StepBack(put);
    ExpectValues(put.Values, {0.9 * 1 + 0.1 * 2, 0, 0});
}

TEST(ApplyDividend, WorkedDividendAndEdges) {
    struct Case { const char* what; std::vector<double> values; double dividend; std::vector<double> want; };
    const Case cases[] = {
        {"worked", {1, 2, 4}, 0.5, {std::pow(2.0, -0.5), 1.5, 3}},
        {"node 1 less the dividend is node 0", {1, 2, 4}, 1, {0.5, 1, 2}},
        {"worthless below the grid", {0, 2, 4}, 0.5, {0, 1, 3}},
        {"S[1] = 0: no power of a zero base", {3, 0, 0}, 0.5, {3, 1.5, 0}},
        {"negative: the line through the two highest nodes", {1, 2, 4}, -0.5, {1.5, 3, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CGrid g = SmallLattice({10, 11, 12}, c.values);
        g.Warrant.Dividend = c.dividend;
        ApplyDividend(g);
        ExpectValues(g.Values, c.want);
    }
}

TEST(EngineErrors, DividendOverflowKeepsTheValuesBeforeIt) {
    CGrid g = SmallLattice({10, 10.001, 10.002}, {1, 1e-300, 4});
    g.Warrant.Dividend = 0.5; // continued geometrically far below the grid
    EXPECT_THROW(ApplyDividend(g), EngineError);
    EXPECT_EQ(g.Values, (std::vector<double>{1, 1e-300, 4}));
}

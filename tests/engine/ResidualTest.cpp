#include "Residual.h"
#include "TestGrids.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kelvaro;

namespace {
double Residual(const CGrid& g) {
    return ResidualFor(g.Warrant, g.StepsPerDay, g.Prices, g.Values, g.PUp, g.PMid, g.PDown);
}
} // namespace

TEST(ResidualValue, WorkedValuesAndStopLossNodeChoices) {
    // Four nodes of a Turbo (SG) with strike 10 and multiplier 1.
    struct Case {
        const char* what;
        std::vector<double> prices;
        bool call;
        double margin;
        int32_t stepsPerDay;
        double residual;
    };
    const Case cases[] = {
        {"worked call", {10, 10.5, 11, 11.5}, true, 0.6, 3, 0.4},
        {"worked put", {8.5, 9, 9.5, 10}, false, 0.6, 3, 0.57},
        {"node 2 on the level", {8.5, 9, 9.5, 10}, false, 0.5, 3, 0.35},
        // Two steps a day make no pass: the capped payoff at the stop-loss node.
        {"node 0, capped", {9.3, 9.5, 9.7, 10}, false, 0.6, 2, 0.6},
        {"every node above the level: node 0", {9.5, 9.6, 9.8, 10}, false, 0.6, 2, 0.5},
        {"negative margin", {10, 10.5, 11, 11.5}, true, -0.2, 3, 0},
        {"a call's node 0 stays 0", {10, 10.5, 11, 11.5}, true, 0.2, 100, 0},
    };
    for (const Case& c : cases) {
        CGrid g = SmallLattice(c.prices, {});
        g.Warrant = {.ProductType = kTurboSG, .IsCall = c.call, .Strike = 10, .Multiplier = 1,
                     .KnockOutMargin = c.margin};
        g.StepsPerDay = c.stepsPerDay;
        for (double p : g.Prices) g.Values.push_back(Payoff(g, p));
        const std::vector<double> payoffs = g.Values;
        EXPECT_NEAR(Residual(g), c.residual, 1e-15) << c.what;
        EXPECT_EQ(g.Values, payoffs) << c.what << ": payoffs are left alone";
    }
}

// The build hands the pass its own lattice's branch weights. At three steps
// a day one pass runs, worked by hand on the built nodes: a Turbo (SG) call
// (level 15.5, cap 0.5 x 0.2 = 0.1) at the stop-loss node b, the highest at
// or below the level, whose up branch is capped at its own payoff E[b]:
// PUp E[b] + PMid E[b] + PDown E[b - 1].
TEST(ResidualValue, BuiltWithTheLatticesOwnBranchWeights) {
    CGrid sg = WorkedExample(kTurboSG, true);
    sg.StepsPerDay = 3;
    ASSERT_TRUE(BuildLattice(sg));
    ASSERT_NE(sg.PUp, sg.PDown);
    const auto above = std::upper_bound(sg.Prices.begin(), sg.Prices.end(), 15.5);
    const double e = (above[-1] - 15) * 0.2, below = (above[-2] - 15) * 0.2;
    ASSERT_LT(e, 0.1);
    EXPECT_NEAR(sg.Warrant.ResidualValue, (sg.PUp + sg.PMid) * e + sg.PDown * below, 1e-15);

    // The window's defaults: 36 passes, at most the cap.
    sg.StepsPerDay = 100;
    ASSERT_TRUE(BuildLattice(sg));
    EXPECT_GT(sg.Warrant.ResidualValue, 0.0);
    EXPECT_LE(sg.Warrant.ResidualValue, 0.1 + 1e-12);
}

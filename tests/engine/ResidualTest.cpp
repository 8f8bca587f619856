#include "TestGrids.h"

#include <gtest/gtest.h>

namespace {

CGrid FourNodes(std::vector<double> prices, bool call, int32_t stepsPerDay = 3) {
    CGrid g = SmallLattice(prices, {});
    g.Warrant.ProductType = kTurboSG;
    g.Warrant.IsCall = call;
    g.Warrant.Strike = 10;
    g.Warrant.KnockOutMargin = 0.6;
    g.Warrant.Multiplier = 1;
    g.StepsPerDay = stepsPerDay;
    g.PUp = 0.3, g.PMid = 0.5, g.PDown = 0.2;
    g.Values.clear();
    for (double p : g.Prices) g.Values.push_back(Payoff(g, p));
    return g;
}

} // namespace

TEST(ResidualValue, WorkedCallAndPut) {
    CGrid call = FourNodes({10, 10.5, 11, 11.5}, true);
    ComputeResidualValue(call);
    EXPECT_NEAR(call.Warrant.ResidualValue, 0.4, 1e-15);

    CGrid put = FourNodes({8.5, 9, 9.5, 10}, false);
    ComputeResidualValue(put);
    EXPECT_NEAR(put.Warrant.ResidualValue, 0.57, 1e-15);
    EXPECT_EQ(put.Values, (std::vector<double>{1.5, 1, 0.5, 0})) << "payoffs are left alone";
}

TEST(ResidualValue, StopLossNodeChoices) {
    CGrid levelOnNode = FourNodes({8.5, 9, 9.5, 10}, false);
    levelOnNode.Warrant.KnockOutMargin = 0.5;
    ComputeResidualValue(levelOnNode);
    EXPECT_NEAR(levelOnNode.Warrant.ResidualValue, 0.35, 1e-15) << "node 2 is on the level";

    // No pass (two steps a day): the capped payoff at the stop-loss node.

    CGrid firstAboveIsOne = FourNodes({9.3, 9.5, 9.7, 10}, false, 2);
    ComputeResidualValue(firstAboveIsOne);
    EXPECT_NEAR(firstAboveIsOne.Warrant.ResidualValue, 0.6, 1e-15) << "node 0, capped";

    CGrid allAbove = FourNodes({9.5, 9.6, 9.8, 10}, false, 2);
    ComputeResidualValue(allAbove);
    EXPECT_NEAR(allAbove.Warrant.ResidualValue, 0.5, 1e-15) << "node 0 stands in";

    CGrid negativeMargin = FourNodes({10, 10.5, 11, 11.5}, true);
    negativeMargin.Warrant.KnockOutMargin = -0.2;
    ComputeResidualValue(negativeMargin);
    EXPECT_EQ(negativeMargin.Warrant.ResidualValue, 0.0);

    CGrid strikeNode = FourNodes({10, 10.5, 11, 11.5}, true, 100);
    strikeNode.Warrant.KnockOutMargin = 0.2;
    ComputeResidualValue(strikeNode);
    EXPECT_EQ(strikeNode.Warrant.ResidualValue, 0.0);
}

TEST(ResidualValue, BuiltWithTheLattice) {
    CGrid sg = WorkedExample(kTurboSG, true);
    ASSERT_TRUE(BuildLattice(sg));
    const double built = sg.Warrant.ResidualValue;
    EXPECT_GT(built, 0.0);
    EXPECT_LE(built, 0.1 + 1e-12); // at most the cap 0.5 * 0.2 after 36 passes
    ComputeResidualValue(sg);
    EXPECT_EQ(sg.Warrant.ResidualValue, built);

    CGrid normal = WorkedExample();
    normal.Warrant.ResidualValue = 7;
    ASSERT_TRUE(BuildLattice(normal));
    EXPECT_EQ(normal.Warrant.ResidualValue, 7) << "a Normal build leaves it alone";
}

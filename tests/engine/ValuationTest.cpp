#include "TestGrids.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

double Normal(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }

double BlackScholes(bool call, double s, double k, double t, double r, double sigma) {
    const double d1 = (std::log(s / k) + (r + 0.5 * sigma * sigma) * t) / (sigma * std::sqrt(t));
    const double d2 = d1 - sigma * std::sqrt(t);
    return call ? s * Normal(d1) - k * std::exp(-r * t) * Normal(d2)
                : k * std::exp(-r * t) * Normal(-d2) - s * Normal(-d1);
}

CGrid Valued(bool call) {
    CGrid g = WorkedExample(kNormal, call);
    EXPECT_TRUE(BuildLattice(g));
    RollBackAll(g);
    return g;
}

} // namespace

TEST(Valuation, NormalWarrantsMatchBlackScholes) {
    for (bool call : {true, false}) {
        const CGrid g = Valued(call);
        const double t = static_cast<double>(g.TotalSteps) / g.StepsPerYear;
        const double expected = g.Warrant.Multiplier *
                                BlackScholes(call, g.Prices[510], 15, t, std::log(1.03), 0.3);
        EXPECT_NEAR(g.Values[510] / expected, 1.0, 0.0005) << (call ? "call" : "put");
    }
}

TEST(Valuation, PutCallParityNearTheStrike) {
    const CGrid call = Valued(true);
    const CGrid put = Valued(false);
    const double discount = std::pow(call.GrowthPerStep, call.TotalSteps);
    const double band = 5 * 0.3 * std::sqrt(static_cast<double>(call.TotalSteps) / call.StepsPerYear);
    int checked = 0;
    for (int i = 0; i < call.NodeCount; ++i) {
        const double p = call.Prices[i];
        if (std::fabs(std::log(p / 15)) > band) continue;
        const double forward = 0.2 * (p - 15 / discount);
        EXPECT_NEAR(call.Values[i] - put.Values[i], forward, 1e-9 * std::fabs(forward) + 1e-12)
            << "node " << i;
        ++checked;
    }
    EXPECT_GT(checked, 500);
}

// Implied volatility: round trips per product and side, the hundredth
// nearest the lattice's root, and where it stops.
#include "Figures.h"
#include "ImpliedVolatility.h"
#include "TestGrids.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

using namespace kelvaro;

namespace {

TEST(ImpliedVolatility, ImpliedVolatilityRoundTripsPerProductAndSide) {
    // A year to expiry, multiplier 1, the share near the level: turbos then
    // depend on volatility enough to be solved.
    const struct { int32_t type; bool call; double share, dividend, vol; } cases[] = {
        {kNormal, true, 15, 0, 0.3},     {kNormal, false, 14, 0, 0.45},
        {kNormal, true, 16, 0.4, 0.25},  {kNormal, false, 15, 0.4, 0.6},
        {kTurboSHB, true, 15.4, 0, 0.5}, {kTurboSHB, false, 14.6, 0.4, 0.5},
        {kTurboSG, true, 16, 0, 0.4},    {kTurboSG, false, 14, 0.4, 0.4},
    };
    std::vector<int32_t> valuations;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << (c.call ? " call " : " put ") << c.share << " "
                                        << c.dividend);
        CGrid g = WorkedExample(c.type, c.call);
        g.Warrant.Expiry += 364, g.Warrant.DividendDate += 300; // a Friday
        g.Warrant.Multiplier = 1, g.Warrant.Dividend = c.dividend, g.Warrant.Volatility = c.vol;
        g.StepsPerDay = 10;
        const double price = *FiguresAt(Valued(g), c.share, false).Value;
        g.Warrant.Volatility = 0.3; // the solve must not lean on the true answer
        const CImpliedVolatility r = SolveImpliedVolatility(g, c.share, price);
        ASSERT_EQ(r.Outcome, VolatilityOutcome::Solved) << static_cast<int>(r.Outcome);
        // A turbo's value need not rise with volatility: another volatility
        // may give the same price, but it must give it.
        if (c.type == kNormal) {
            EXPECT_NEAR(r.VolatilityPercent, c.vol * 100, 0.03);
        }
        // The lattice value jumps with volatility (SG most): the price lies
        // between the values just below and just above the one found.
        double v[2];
        for (int k : {0, 1}) {
            g.Warrant.Volatility = r.Volatility + (k ? 1e-4 : -1e-4);
            v[k] = *FiguresAt(Valued(g), c.share, false).Value;
        }
        EXPECT_GE(price, std::min(v[0], v[1]) - 1e-4);
        EXPECT_LE(price, std::max(v[0], v[1]) + 1e-4);
        valuations.push_back(r.Valuations);
    }
    std::sort(valuations.begin(), valuations.end());
    EXPECT_LE(valuations[valuations.size() / 2], 8);
}

// The two decimals are the hundredth nearest the lattice's own root: the
// value at the midpoint below them is under the price, the one above over
// it. One step a day, 3 months, share 16.5, where a value within the
// tolerance lay up to two hundredths from the root (14,45 for 14,47).
TEST(ImpliedVolatility, ImpliedVolatilityPrintsTheHundredthNearestTheRoot) {
    CGrid g = WorkedExample(kNormal, true);
    g.Warrant.Expiry = 38777 + 91 + k1820, g.StepsPerDay = 1;
    const auto valueAt = [&](double percent) {
        CGrid at = g;
        at.Warrant.Volatility = percent / 100;
        return *ValueAtPrice(Valued(at), 16.5);
    };
    for (double price = 0.3300; price < 0.3341; price += 0.0002) {
        SCOPED_TRACE(price);
        const CImpliedVolatility r = SolveImpliedVolatility(g, 16.5, price);
        ASSERT_EQ(r.Outcome, VolatilityOutcome::Solved);
        EXPECT_LT(valueAt(r.VolatilityPercent - 0.005), price);
        EXPECT_GE(valueAt(r.VolatilityPercent + 0.005), price);
    }
}

// A Turbo (SG) put whose value jumps between lattices around the price:
// the narrowing took 27 valuations to find an insensitive root. Once no
// valuation can widen the span the vega comes from, the outcome and the
// vega are those of the whole narrowing (pinned from it) in fewer.
TEST(ImpliedVolatility, InsensitiveTurboSGIsSettledWithoutNarrowing) {
    CGrid g = WorkedExample(kTurboSG, false);
    g.Warrant.Strike = 18, g.Warrant.Expiry = 39142 + k1820; // 2007-03-01
    const CImpliedVolatility r = SolveImpliedVolatility(g, 15, 0.5464);
    EXPECT_EQ(r.Outcome, VolatilityOutcome::Insensitive);
    EXPECT_EQ(r.VegaPerPoint, 0.00021971194990136222);
    EXPECT_LE(r.Valuations, 13);
}

} // namespace

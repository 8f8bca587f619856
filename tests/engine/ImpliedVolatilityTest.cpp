// Implied volatility: round trips per product and side, the hundredth
// nearest the lattice's root, and each refusal's cause.
#include "Figures.h"
#include "ImpliedVolatility.h"
#include "TestGrids.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

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
        ASSERT_EQ(r.Outcome, VolatilityOutcome::Solved) << VolatilityRefusal(r, price, ',');
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

// Each refusal names its own cause (the text holds the row's), whatever the
// price asked.
TEST(ImpliedVolatility, ImpliedVolatilityRefusesWithItsCause) {
    // A Turbo (SHB) call far above its level is worth about S - K whatever
    // the volatility.
    const double shbAt25 = *ValueAtPrice(Valued(WorkedExample(kTurboSHB, true)), 25);
    const struct {
        int32_t type;
        double share, price;
        VolatilityOutcome outcome;
        const char* text;
    } cases[] = {
        {kNormal, 15, 0.001, VolatilityOutcome::NoSolution,
         "Hinnalla 0,0010 ei löydy volatiliteettia väliltä 1–300 %: arvo vaihtelee välillä "
         "0,0134–1,29"},
        {kNormal, 15, 1e16, VolatilityOutcome::NoSolution, "Hinnalla 1e+16 ei löydy"},
        {kNormal, 15, 1e100, VolatilityOutcome::NoSolution,
         "Hinnalla 1e+100 ei löydy volatiliteettia väliltä 1–300 %: arvo vaihtelee välillä "
         "0,0134–1,29"},
        {kTurboSHB, 25, shbAt25, VolatilityOutcome::Insensitive,
         "Hinnalla 2,01 volatiliteettia ei voi päätellä: warrantin arvo riippuu"},
        {kTurboSHB, 14, 0.1, VolatilityOutcome::KnockedOut,
         "Hinnalla 0,10 volatiliteettia ei voi päätellä: osakkeen hinta on knock-out-tasolla 15 "
         "tai sen takana"},
        {kTurboSG, 15.5, 0.1, VolatilityOutcome::KnockedOut, "knock-out-tasolla 15,5 tai"},
        // The widest lattice, at 300 %: 15 e^(±30 sqrt(52 / 365)).
        {kNormal, 1e308, 0.15, VolatilityOutcome::OffLattice,
         "Hinnalla 0,15 volatiliteettia ei voi päätellä: osakkeen hinta on hilan hinta-alueen "
         "ulkopuolella kaikilla volatiliteeteilla 1–300 % (0,000181303–1,24102e+06)"},
        {kNormal, 1.7e-4, 0.15, VolatilityOutcome::OffLattice, "ulkopuolella"},
    };
    double range[2] = {};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const CImpliedVolatility r = SolveImpliedVolatility(WorkedExample(c.type, true), c.share, c.price);
        EXPECT_EQ(r.Outcome, c.outcome);
        const std::string text = VolatilityRefusal(r, c.price, ',');
        EXPECT_NE(text.find(c.text), std::string::npos) << text;
        if (c.outcome == VolatilityOutcome::NoSolution) {
            // What the range gives does not depend on the price asked.
            if (range[1] == 0) range[0] = r.ValueAtLowest, range[1] = r.ValueAtHighest;
            EXPECT_EQ(r.ValueAtLowest, range[0]);
            EXPECT_EQ(r.ValueAtHighest, range[1]);
        }
    }

    // Stopped between days of the first valuation.
    const CImpliedVolatility r =
        SolveImpliedVolatility(WorkedExample(), 15, 0.15, [](int32_t) { return false; });
    EXPECT_EQ(r.Outcome, VolatilityOutcome::Stopped);
}

} // namespace

#include "TestGrids.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

// The build's refusal as the user reads it, or "" when it builds.
std::string CauseOf(CGrid& grid) {
    try {
        BuildLattice(grid);
    } catch (const EngineError& e) {
        return e.what();
    }
    return "";
}

// Each refusal names its own cause, word for word: a check that lets a bad
// input through to a later stage still fails there, but with another cause.
TEST(EngineErrors, InputsWithoutAValuationThrowTheirCauseAndKeepTheLastBuild) {
    struct BadInput { const char* name; std::function<void(CGrid&)> spoil; const char* cause; };
    const char* const kOpen = "Pörssiajan on oltava yli 0 % ja enintään 100 % päivästä";
    const BadInput cases[] = {
        {"open fraction 0", [](CGrid& g) { g.OpenFraction = 0; }, kOpen},
        {"open fraction above 1", [](CGrid& g) { g.OpenFraction = 1.01; }, kOpen},
        {"steps per day 0", [](CGrid& g) { g.StepsPerDay = 0; },
         "Aika-askelia päivässä on oltava vähintään 1"},
        {"volatility 0", [](CGrid& g) { g.Warrant.Volatility = 0; },
         "Laskentavolatiliteetin on oltava suurempi kuin 0 %"},
        {"volatility underflows", [](CGrid& g) { g.Warrant.Volatility = 1e-200; },
         "Laskentavolatiliteetti on liian pieni"},
        {"strike 0", [](CGrid& g) { g.Warrant.Strike = 0; },
         "Toteutushinnan on oltava suurempi kuin 0"},
        {"negative multiplier", [](CGrid& g) { g.Warrant.Multiplier = -0.2; },
         "Kertoimen on oltava suurempi kuin 0"},
        {"rate -100 %", [](CGrid& g) { g.Rate = -1; },
         "Riskittömän koron on oltava suurempi kuin -100 %"},
        {"negative weekend", [](CGrid& g) { g.WeekendWeight = -0.5; },
         "Viikonlopun pituus päivinä ei voi olla negatiivinen"},
        {"NaN dividend", [](CGrid& g) { g.Warrant.Dividend = NAN; },
         "Osinko ei ole kelvollinen luku"},
        {"late on the expiry day", [](CGrid& g) { g.ValuationTime = 38828 + 18.5 / 24; },
         "Laskentahetki on päättymispäivän pörssin sulkemisen jälkeen"},
        {"one-node lattice", [](CGrid& g) { g.ValuationTime = 38828 + k1820; },
         "Laskentahetken ja päättymisen välillä ei ole yhtään aika-askelta"},
        {"steps overflow 32 bits", [](CGrid& g) { g.StepsPerDay = 2000000000; },
         "Aika-askelten määrä ei mahdu laskentaan (liian monta aika-askelta)"},
        {"huge volatility", [](CGrid& g) { g.Warrant.Volatility = 1e150; },
         "Laskentavolatiliteetti on liian suuri tälle juoksuajalle (yli 2649 %)"},
        {"payoffs overflow", [](CGrid& g) { g.Warrant.Multiplier = 1e308; },
         "Warrantin arvo ylivuotaa"},
        {"arrays beyond memory", [](CGrid& g) {
             g.StepsPerDay = 1500000;
             g.WeekendWeight = 0;
             g.ValuationTime = 38828 - 1999 + 10.0 / 24;
         }, "Hilan taulukot eivät mahdu muistiin"},
    };
    for (const BadInput& c : cases) {
        CGrid first = WorkedExample();
        c.spoil(first);
        EXPECT_EQ(CauseOf(first), c.cause) << c.name;
        EXPECT_TRUE(!first.Allocated && first.NodeCount == 0 && first.Prices.empty() &&
                    first.DayValues.empty()) << c.name << ": a first build allocates nothing";
        EXPECT_THROW(RollBackDay(first, 0), EngineError) << c.name;

        CGrid g = WorkedExample();
        ASSERT_TRUE(BuildLattice(g));
        const CGrid before = g;
        c.spoil(g);
        EXPECT_EQ(CauseOf(g), c.cause) << c.name;
        EXPECT_TRUE(g.Allocated && g.DayCount == before.DayCount &&
                    g.TotalSteps == before.TotalSteps && g.Prices == before.Prices &&
                    g.DayValues == before.DayValues) << c.name << ": the last build is kept";
    }
}

// Volatility and rate where the lattice is unsound are refused naming the
// input and the limit. The worked example runs 52 / 365 years: at most
// 10 / sqrt(T) = 2649 % volatility, at least ln(1 + r) sqrt(T) / 5 (2.5
// for a falling drift) = 0,23 % at 3 %, 10,47 % at -50 %.
TEST(EngineErrors, VolatilityAndRateOutsideTheSoundLatticeNameTheirLimit) {
    const struct {
        double volatility, rate;
        int32_t stepsPerDay;
        const char* cause;
    } cases[] = {
        {1e308, 0.03, 100, "Laskentavolatiliteetti on liian suuri tälle juoksuajalle (yli 2649 %)"},
        {26.5, 0.03, 100, "Laskentavolatiliteetti on liian suuri tälle juoksuajalle (yli 2649 %)"},
        // A variance of 1 a step: sqrt(365) at one step a day.
        {19.2, 0.03, 1, "Laskentavolatiliteetti on liian suuri tälle juoksuajalle (yli 1910 %)"},
        {0.3, 1e18, 100, "Riskitön korko on liian suuri (yli 1000 %)"},
        {0.0001, 0.03, 100,
         "Laskentavolatiliteetti on liian pieni suhteessa korkoon ja juoksuaikaan (alle 0,23 %)"},
        {0.1, -0.5, 100,
         "Laskentavolatiliteetti on liian pieni suhteessa korkoon ja juoksuaikaan (alle 10,47 %)"},
        // Just inside: accepted.
        {26.4, 0.03, 100, nullptr}, {0.3, 10, 100, nullptr}, {0.0023, 0.03, 100, nullptr},
        {0.105, -0.5, 100, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.volatility << " " << c.rate);
        CGrid g = WorkedExample();
        g.Warrant.Volatility = c.volatility, g.Rate = c.rate, g.StepsPerDay = c.stepsPerDay;
        try {
            EXPECT_TRUE(BuildLattice(g));
            EXPECT_EQ(c.cause, nullptr) << "accepted";
        } catch (const EngineError& e) {
            EXPECT_STREQ(e.what(), c.cause);
        }
    }
}

TEST(EngineErrors, DividendOverflowKeepsTheValuesBeforeIt) {
    CGrid g = SmallLattice({10, 10.001, 10.002}, {1, 1e-300, 4});
    g.Warrant.Dividend = 0.5; // continued geometrically far below the grid
    EXPECT_THROW(ApplyDividend(g), EngineError);
    EXPECT_EQ(g.Values, (std::vector<double>{1, 1e-300, 4}));
}

// The engine's refusals as the user reads them: each code's text, word for
// word, with its numbers.
#include "Figures.h"
#include "Refusals.h"
#include "TestGrids.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <string>

using namespace kelvaro;

// The build's refusal as the user reads it, or "" when it builds.
std::string CauseOf(CGrid& grid) {
    try {
        BuildLattice(grid);
    } catch (const EngineError& e) {
        return RefusalText(e);
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

        CGrid g = Built(WorkedExample());
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
    const struct { double volatility, rate; int32_t stepsPerDay; const char* cause; } cases[] = {
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
            EXPECT_EQ(RefusalText(e), c.cause);
        }
    }
}

namespace {

// Each refusal names its own cause (the text holds the row's), whatever the
// price asked.
TEST(VolatilityRefusal, ImpliedVolatilityRefusesWithItsCause) {
    // A Turbo (SHB) call far above its level is worth about S - K whatever
    // the volatility.
    const double shbAt25 = *ValueAtPrice(Valued(WorkedExample(kTurboSHB, true)), 25);
    const struct { int32_t type; double share, price; VolatilityOutcome outcome; const char* text; } cases[] = {
        {kNormal, 15, 0.001, VolatilityOutcome::NoSolution,
         "Hinnalla 0,0010 ei löydy volatiliteettia väliltä 1–300 %: arvo vaihtelee välillä "
         "0,0134–1,29"},
        {kNormal, 15, 1e16, VolatilityOutcome::NoSolution, "Hinnalla 1e+16 ei löydy"},
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

// The date-range refusals, alone and under the commands' headings.
TEST(DateRangeRefusal, CausesAndHeadings) {
    CGrid g = WorkedExample();
    EXPECT_EQ(DateRangeRefusalText(g, RefusedCommand::Calculate, RefusalForm::Box), "");
    g.Warrant.Expiry = 38829 + k1820; // a Saturday
    EXPECT_EQ(DateRangeRefusalText(g, RefusedCommand::Calculate, RefusalForm::Line),
              "Parametrit virheellisiä, Laskenta peruttu: Päättymispäivä osuu viikonloppuun");
    g.Warrant.Expiry = kApril21At1820;
    g.ValuationTime = 38828 - 2000 + 0.5;
    EXPECT_EQ(DateRangeRefusalText(g, RefusedCommand::Check, RefusalForm::Box),
              "Parametrit virheellisiä.\n"
              "Päättymispäivä on liian kaukana: laskentapäivästä päättymispäivään saa olla "
              "enintään 2000 kalenteripäivää molemmat päivät mukaan lukien");
}

} // namespace

// A code added to the engine without its words would reach the user as
// "Tuntematon laskennan virhe"; and no two codes may read alike.
TEST(EngineErrors, EveryCodeHasWordsOfItsOwn) {
    const RefusalCode codes[] = {
#define CODE(code) RefusalCode::code,
        KELVARO_REFUSAL_CODES(CODE)
#undef CODE
    };
    std::set<std::string> texts;
    for (const RefusalCode code : codes) {
        if (code == RefusalCode::WorkLimit) continue; // fuzzing builds only
        const std::string text = RefusalText(Refusal{code, 0.5});
        SCOPED_TRACE(RefusalTag(code));
        EXPECT_NE(text, "Tuntematon laskennan virhe");
        EXPECT_TRUE(texts.insert(text).second) << text;
    }
}

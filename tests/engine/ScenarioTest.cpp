// Scenario table: which grid row holds which day, the price rule between
// nodes, the default date ladder and the CSV text read back.
#include "Scenario.h"
#include "TestGrids.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

using namespace kelvaro;

namespace {

// Row d is the close of day d: rolling back only the days after d by hand
// leaves exactly that row in Values; the last row is the payoff.
TEST(Scenario, DayRowIsTheCloseOfThatDay) {
    const CGrid full = Valued(WorkedExample());
    const int32_t last = full.DayCount - 1;
    for (const int32_t day : {1, 5, 23, last - 1}) {
        SCOPED_TRACE(day);
        CGrid partial = Built(WorkedExample());
        for (int32_t d = last; d > day; --d) RollBackDay(partial, d);
        EXPECT_EQ(DayRowValues(full, day), partial.Values);
    }
    for (int32_t i = 0; i < full.NodeCount; ++i)
        ASSERT_EQ(DayRowValues(full, last)[i], Payoff(full, full.Prices[i])) << i;
    EXPECT_EQ(&DayRowValues(full, 0), &full.Values);
    EXPECT_THROW(DayRowValues(full, full.DayCount), EngineError);
    CGrid copy = full;
    EXPECT_THROW(RollBackDay(copy, copy.DayCount), EngineError);
    EXPECT_THROW(RollBackDay(copy, -1), EngineError);
}

// Worked example, 1 March to 21 April 2006: +1 week is Wednesday 8 March
// (day 5), +1 month Saturday 1 April and so Monday 3 April (day 23); +3
// months lies past the expiry (day 37).
TEST(Scenario, DefaultLadderAndTradingDays) {
    const CGrid g = Valued(WorkedExample());
    EXPECT_EQ(DefaultScenarioDays(g), (std::vector<int32_t>{0, 5, 23, 37}));
    // (The valuation and expiry days, and a Saturday refused: CliScenario, CliErrors.)
    EXPECT_EQ(TradingDayOfDate(g, SerialOfDate(2006, 4, 3)), 23);
    EXPECT_EQ(TradingDayOfDate(g, SerialOfDate(2006, 4, 22)), std::nullopt);

    CGrid sameDay = WorkedExample();
    sameDay.Warrant.Expiry = kMarch1At10 + 0.5;
    sameDay = Valued(sameDay);
    EXPECT_EQ(DefaultScenarioDays(sameDay), (std::vector<int32_t>{0}));
}

TEST(Scenario, NodesExactLinearBetweenEmptyOutside) {
    const CGrid g = Valued(WorkedExample());
    const int32_t k = g.NodeCount / 2;
    const double mid = 0.5 * (g.Prices[k] + g.Prices[k + 1]);
    // The record's PriceMax (46.54358922175838) lies a rounding above the top
    // node (46.5435892217551) and reads as it; the next double above does not.
    ASSERT_GT(g.PriceMax, g.Prices.back());
    const std::vector<double> prices{g.Prices[k], mid, g.Prices.front(), g.PriceMax,
                                     g.Prices.front() * 0.999,
                                     std::nextafter(g.PriceMax, 1e300)};
    const ScenarioTable t = ComputeScenario(g, prices, {0, 23, 37}, 15.0);
    for (std::size_t c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        const std::vector<double>& row = DayRowValues(g, t.Days[c]);
        EXPECT_EQ(t.Values[0][c], row[k]);
        EXPECT_NEAR(*t.Values[1][c], 0.5 * (row[k] + row[k + 1]), 1e-15);
        EXPECT_EQ(t.Values[2][c], row.front());
        EXPECT_EQ(t.Values[3][c], row.back());
        EXPECT_EQ(t.Values[4][c], std::nullopt);
        EXPECT_EQ(t.Values[5][c], std::nullopt);
    }
    EXPECT_EQ(t.Dates, (std::vector<double>{g.DayDates[0], g.DayDates[23], g.DayDates[37]}));
    // The changes are measured from the value now at the reference price.
    const ScenarioTable atStrike = ComputeScenario(g, {15.0, 18.0}, {0, 37}, 15.0);
    EXPECT_EQ(ScenarioCellValue(atStrike, 0, 0, ScenarioCell::Change), 0.0);
    EXPECT_NEAR(*ScenarioCellValue(atStrike, 1, 1, ScenarioCell::ChangePercent),
                (0.6 / *atStrike.Reference - 1) * 100, 1e-9);
}

TEST(Scenario, PriceRanges) {
    EXPECT_EQ(ScenarioPriceRange(1, 1.3, 0.1), (std::vector<double>{1, 1.1, 1.2, 1.3})); // 0.3 / 0.1 falls just short of 3
    // Exact decimal steps, not 0.8500000000000001 or 0.010000000000000142.
    EXPECT_EQ(DefaultScenarioPrices(1), (std::vector<double>{0.8, 0.85, 0.9, 0.95, 1, 1.05, 1.1, 1.15, 1.2}));
    EXPECT_EQ(ScenarioPriceRange(0.001, 0.011, 0.003), (std::vector<double>{0.001, 0.004, 0.007, 0.01}));
    EXPECT_EQ(DefaultScenarioPrices(16.5)[1], 14.025);
    EXPECT_TRUE(ScenarioPriceRange(10, 20, 0).empty());
    EXPECT_TRUE(ScenarioPriceRange(20, 10, 1).empty());
    EXPECT_TRUE(ScenarioPriceRange(0, 1e6, 1).empty());
}

} // namespace

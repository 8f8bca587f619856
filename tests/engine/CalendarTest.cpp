#include "Figures.h"
#include "Calendar.h"
#include "TestGrids.h"

#include <gtest/gtest.h>

using namespace kelvaro;

TEST(Calendar, WorkedExampleMarchToApril2006) {
    const CGrid g = Built(WorkedExample());
    EXPECT_EQ(g.DayCount, 38);
    EXPECT_EQ(g.ClosedSteps, 0);
    EXPECT_EQ(g.WeekendDaySteps, 100);
    EXPECT_EQ(g.StepsPerYear, 36500);
    EXPECT_EQ(g.TotalSteps, 5200);
    for (int i = 0; i < g.DayCount; ++i) // the Mondays carry the weekend
        EXPECT_EQ(g.DaySteps[i], i >= 3 && (i - 3) % 5 == 0 ? 300 : 100) << "day " << i;
    EXPECT_EQ(g.DayDates[0], kMarch1At10);
    EXPECT_DOUBLE_EQ(g.DayDates[3], 38782 + k1820); // Monday 6 March
    EXPECT_EQ(g.DayDates[37], kApril21At1820);
}

TEST(Calendar, DividendDayIsTheIndexOfItsDate) {
    struct Case { double date, dividend; int32_t day; };
    const Case cases[] = {
        {38807 + k1820, 0.5, 22},  // Friday 31 March
        {38810 + k1820, 0.5, 23},  // Monday 3 April
        {38808 + k1820, 0.5, 23},  // Saturday 1 April: paid on Monday
        {38809.25, 0.5, 23},       // Sunday 2 April
        {38807 + k1820, 0.0, -1},  // a zero dividend is no dividend
        {kMarch1At10, 0.5, -1},    // exactly at valuation
        {kApril21At1820, 0.5, -1}, // exactly at expiry
        {38777.5, 0.5, 0},         // later on the valuation day
        {38828.5, 0.5, 37},        // earlier on the expiry day
    };
    for (const Case& c : cases) {
        CGrid g = WorkedExample();
        g.Warrant.Dividend = c.dividend, g.Warrant.DividendDate = c.date;
        EXPECT_EQ(Built(g).Warrant.DividendDay, c.day) << c.date;
    }
}

TEST(Calendar, ValuationDayStepsByTimeOfDay) {
    struct Case { int minutes; int32_t steps; };
    const Case cases[] = {{600, 100}, {850, 50}, {1095, 1}, {1100, 0}, {1105, 0}, {1110, -1}};
    for (const Case& c : cases) {
        CGrid g = WorkedExample();
        g.ValuationTime = 38777 + c.minutes / 1440.0;
        g = Built(g);
        EXPECT_EQ(g.DaySteps[0], c.steps) << c.minutes;
        EXPECT_EQ(g.TotalSteps, 5100 + c.steps);
    }
}

TEST(Calendar, SpanLimitsAndRebuilds) {
    CGrid g = WorkedExample();
    for (const double expiry : {38829 + k1820, 38830 + k1820}) { // Saturday, Sunday
        g.Warrant.Expiry = expiry;
        EXPECT_FALSE(BuildLattice(g));
    }
    g.Warrant.Expiry = kApril21At1820;
    g.ValuationTime = 38829.5; // the day after expiry
    EXPECT_FALSE(BuildLattice(g));
    EXPECT_FALSE(g.Allocated);
    g.ValuationTime = kMarch1At10;
    ASSERT_TRUE(BuildLattice(g));

    g.ValuationTime = 38828.40; // expiry day itself, before the open
    ASSERT_TRUE(BuildLattice(g));
    EXPECT_EQ(g.DayCount, 1);
    EXPECT_EQ(g.TotalSteps, g.DaySteps[0]);
    EXPECT_EQ(g.DayDates[0], g.ValuationTime);
    ASSERT_EQ(g.DayValues.size(), 1u) << "a rebuild replaces every array";
    EXPECT_EQ(static_cast<int>(g.DayValues[0].size()), g.NodeCount);
    EXPECT_EQ(static_cast<int>(g.Prices.size()), g.NodeCount);

    g.ValuationTime = 38828 - 1999 + 0.5; // 2000 calendar days, both ends counted
    ASSERT_TRUE(BuildLattice(g));
    const std::vector<double> prices = g.Prices;
    g.ValuationTime -= 1; // its cause: DateRangeRefusal.CausesAndHeadings
    EXPECT_FALSE(BuildLattice(g));
    EXPECT_EQ(g.Prices, prices) << "a rejected date range keeps the last build";
}

TEST(Calendar, StepCountsOfOpenFractionAndWeekendWeight) {
    // A weekend of 0.6 days: in plain doubles 100 * 0.3 would give 30 and the
    // year 29220 steps; the counts are truncated at extended precision.
    struct Case { double open, weekend; int32_t closed, weekendDay, year; };
    const Case cases[] = {{0.5, 0.0, 100, 0, 261 * 200},
                          {1.0, static_cast<double>(0.6L * 0.5), 0, 29, 29219}};
    for (const Case& c : cases) {
        CGrid g = WorkedExample();
        g.OpenFraction = c.open, g.WeekendWeight = c.weekend;
        g = Built(g);
        EXPECT_EQ(g.ClosedSteps, c.closed);
        EXPECT_EQ(g.WeekendDaySteps, c.weekendDay);
        EXPECT_EQ(g.StepsPerYear, c.year);
    }
}

namespace {

// 14 April 2006 is a Friday; exchange hours a third of the day so that the
// closed hours and the weekend carry steps of their own.
constexpr double kFriday14 = 38821;

CGrid WeekendExample(double valuation) {
    CGrid g = WorkedExample();
    g.ValuationTime = valuation;
    g.OpenFraction = 0.347;
    return g;
}

} // namespace

TEST(Calendar, WeekendValuationCountsFromFridaysClose) {
    const CGrid friday = Valued(WeekendExample(kFriday14 + k1820));
    for (const double saturday : {kFriday14 + 1, kFriday14 + 1.5, kFriday14 + 1.99}) {
        const CGrid g = Valued(WeekendExample(saturday));
        EXPECT_EQ(g.TotalSteps, friday.TotalSteps);
        EXPECT_EQ(g.DaySteps, friday.DaySteps);
        EXPECT_EQ(g.Values, friday.Values); // bit for bit
        EXPECT_EQ(g.DayDates[0], saturday);
    }
    const CGrid sunday = Built(WeekendExample(kFriday14 + 2.25));
    EXPECT_EQ(sunday.TotalSteps, friday.TotalSteps - friday.WeekendDaySteps);
    int32_t sum = 0;
    for (int32_t i = 0; i < sunday.DayCount; ++i) {
        sum += sunday.DaySteps[i];
        const int weekday = DayOfWeekOfSerial(sunday.DayDates[i]); // Sunday = 1 ... Saturday = 7
        EXPECT_TRUE(i == 0 || (weekday > 1 && weekday < 7)) << "day " << i;
    }
    EXPECT_EQ(sum, sunday.TotalSteps);
    EXPECT_EQ(sunday.DayDates[1], kFriday14 + 3 + k1820); // Monday
}

TEST(Calendar, ValueFallsFromFridaysCloseToMondaysOpen) {
    double previous = 1e300;
    for (const double t : {kFriday14 + k1820, kFriday14 + 1, kFriday14 + 1.7, kFriday14 + 2,
                           kFriday14 + 2.9, kFriday14 + 3, kFriday14 + 3.3, kFriday14 + 3 + 10.0 / 24}) {
        const CGrid g = Valued(WeekendExample(t));
        const double value = *ValueAtPrice(g, 15);
        EXPECT_LE(value, previous) << t;
        previous = value;
    }
}

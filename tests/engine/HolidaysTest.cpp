// The Helsinki exchange's closures and how the calendar counts them.
#include "Calendar.h"
#include "ClosedForms.h"
#include "Figures.h"
#include "Holidays.h"
#include "TestGrids.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace kelvaro;

namespace {

std::vector<int32_t> Days(std::initializer_list<std::array<unsigned, 3>> dates) {
    std::vector<int32_t> days;
    for (const auto& [y, m, d] : dates) days.push_back(SerialOfDate(static_cast<int>(y), m, d));
    return days;
}

// Wednesday 1 April 2026 10:00 to Friday 10 April 2026 18:20, across Good
// Friday (3.4) and Easter Monday (6.4); 100 steps a day, all day open, a
// weekend day weighs a quarter of a trading day (25 steps).
CGrid EasterGrid() {
    CGrid g = WorkedExample();
    g.ValuationTime = 46113 + 10.0 / 24;
    g.Warrant.Expiry = 46122 + k1820;
    g.WeekendWeight = 0.25;
    g.Closures = HelsinkiClosures(2025, 2027);
    return g;
}

// The Black–Scholes call per share, written out by hand.
double BlackScholesCall(double S, double K, double T, double r, double sigma) {
    const auto N = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
    const double sd = sigma * std::sqrt(T);
    const double d1 = (std::log(S / K) + (r + sigma * sigma / 2) * T) / sd;
    return S * N(d1) - K * std::exp(-r * T) * N(d1 - sd);
}

} // namespace

TEST(Holidays, HelsinkiWeekdayClosures2026And2027) {
    // The list the exchange publishes for these two years.
    EXPECT_EQ(HelsinkiClosures(2026, 2027),
              Days({{2026, 1, 1}, {2026, 1, 6}, {2026, 4, 3}, {2026, 4, 6}, {2026, 5, 1},
                    {2026, 5, 14}, {2026, 6, 19}, {2026, 12, 24}, {2026, 12, 25}, {2026, 12, 31},
                    {2027, 1, 1}, {2027, 1, 6}, {2027, 3, 26}, {2027, 3, 29}, {2027, 5, 6},
                    {2027, 6, 25}, {2027, 12, 6}, {2027, 12, 24}, {2027, 12, 31}}));
}

TEST(Holidays, EasterSundayOfPublishedYears) {
    // Published Easter dates, the earliest (22 March) and latest (25 April)
    // possible among them.
    const std::array<unsigned, 3> easters[] = {{1583, 4, 10}, {1818, 3, 22}, {1943, 4, 25},
                                               {2000, 4, 23}, {2019, 4, 21}, {2038, 4, 25},
                                               {2285, 3, 22}};
    for (const auto& [y, m, d] : easters) {
        SCOPED_TRACE(y);
        const CivilDate easter = EasterSunday(y);
        EXPECT_EQ(easter.Month, m);
        EXPECT_EQ(easter.Day, d);
    }
}

TEST(Holidays, GoodFridayToEasterMondayIsOneBreakBeforeTuesday) {
    CGrid g = EasterGrid();
    ASSERT_TRUE(BuildLattice(g));
    // Wed 1.4, Thu 2.4, Tue 7.4, Wed 8.4, Thu 9.4, Fri 10.4. The Tuesday
    // carries Friday to Monday: 100 + 4 x 25 steps.
    EXPECT_EQ(g.DayCount, 6);
    EXPECT_EQ(g.DaySteps, (std::vector<int32_t>{100, 100, 200, 100, 100, 100}));
    EXPECT_DOUBLE_EQ(g.DayDates[2], 46119 + k1820);
    // 10 calendar days: 100 on the valuation day, 5 whole days, 4 closed days.
    EXPECT_EQ(g.TotalSteps, 100 + 5 * 100 + 4 * 25);

    // A weekend day in the list changes nothing; no closures is the
    // weekend-only calendar: 8 trading days, the Monday with 2 x 25.
    g.Closures = Days({{2026, 4, 4}});
    ASSERT_TRUE(BuildLattice(g));
    EXPECT_EQ(g.DaySteps, (std::vector<int32_t>{100, 100, 100, 150, 100, 100, 100, 100}));
    g.Closures = {};
    ASSERT_TRUE(BuildLattice(g));
    EXPECT_EQ(g.DaySteps, (std::vector<int32_t>{100, 100, 100, 150, 100, 100, 100, 100}));
}

TEST(Holidays, StepsPerYearCountsTheComingYearsWeekdayClosures) {
    // Valued 15 December 2026; 100 steps a whole day, a weekend day 0.25.
    // Without closures: trunc((365 - 104 x 0.75) x 100) = 28700.
    // Helsinki: 24.12, 25.12, 31.12.2026 and 1.1, 6.1, 26.3, 29.3, 6.5, 25.6,
    // 6.12.2027 fall on weekdays before 15.12.2027 (24.12.2027 is past it):
    // H = 10, trunc((365 - 114 x 0.75) x 100) = 27950.
    CGrid g = EasterGrid();
    g.ValuationTime = 46371 + 10.0 / 24;
    g.Warrant.Expiry = 46402 + k1820;
    ASSERT_TRUE(BuildLattice(g));
    EXPECT_EQ(g.StepsPerYear, 27950);
    g.Closures = {};
    ASSERT_TRUE(BuildLattice(g));
    EXPECT_EQ(g.StepsPerYear, 28700);
}

TEST(Holidays, ExpiryOnAClosureIsRefused) {
    const std::vector<int32_t> helsinki = HelsinkiClosures(2026, 2027);
    const double valuation = 46371 + 10.0 / 24;
    for (const double expiry : {46380 + k1820, 46381 + k1820, 46118 + k1820 + 365}) {
        SCOPED_TRACE(expiry);
        const bool closure = expiry < 46400;
        EXPECT_EQ(DateRangeRefusal(valuation, expiry, helsinki),
                  closure ? std::optional(DateRangeProblem::ExpiryOnClosure) : std::nullopt);
        EXPECT_EQ(DateRangeRefusal(valuation, expiry), std::nullopt);
        CGrid g = EasterGrid();
        g.ValuationTime = valuation;
        g.Warrant.Expiry = expiry;
        g.Closures = helsinki;
        EXPECT_EQ(BuildLattice(g), !closure);
    }
}

TEST(Holidays, ValuationOnAClosureCountsFromTheLastClose) {
    CGrid thursday = EasterGrid();
    thursday.ValuationTime = 46114 + k1820;
    thursday = Valued(thursday);
    struct Case { double time; int32_t behind; };
    // Good Friday has nothing behind it, Saturday Good Friday, Easter
    // Monday Friday to Sunday.
    const Case cases[] = {{46115 + 10.0 / 24, 0}, {46116 + 0.9, 1}, {46118 + 10.0 / 24, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time);
        CGrid g = EasterGrid();
        g.ValuationTime = c.time;
        g = Valued(g);
        EXPECT_EQ(g.DayCount, thursday.DayCount);
        EXPECT_EQ(g.DaySteps[0], 0);
        EXPECT_EQ(g.DaySteps[1], 200 - 25 * c.behind);
        EXPECT_EQ(g.TotalSteps, thursday.TotalSteps - 25 * c.behind);
        if (c.behind == 0) {
            EXPECT_EQ(g.Values, thursday.Values); // bit for bit
        }
    }
}

TEST(Holidays, DatedEventOnAClosureActsOnTheNextTradingDay) {
    struct Case { double valuation, date; int32_t day; };
    const double wednesday = 46113 + 10.0 / 24, goodFriday = 46115 + 10.0 / 24;
    const Case cases[] = {
        {wednesday,  46114 + k1820, 1},  // Thursday
        {wednesday,  46115 + k1820, 2},  // Good Friday: Tuesday
        {wednesday,  46116 + 0.5, 2},    // Saturday
        {wednesday,  46118 + k1820, 2},  // Easter Monday
        {wednesday,  46119 + k1820, 2},  // Tuesday
        {wednesday,  46122 + 0.5, 5},    // earlier on the expiry day
        {wednesday,  46122 + k1820, -1}, // at expiry
        // Valued on Good Friday (day 0 is Thursday): an event dated earlier
        // that day acts on Tuesday 09:00, after the valuation.
        {goodFriday, 46115 + 0.375, 1},
        {goodFriday, 46114 + k1820, -1}, // Thursday's close is behind it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.date);
        CGrid g = EasterGrid();
        g.ValuationTime = c.valuation;
        g.Warrant.Dividend = 0.5;
        g.Warrant.DividendDate = c.date;
        ASSERT_TRUE(BuildLattice(g));
        EXPECT_EQ(g.Warrant.DividendDay, c.day);
    }
}

TEST(Holidays, UnorderedClosuresAreRefused) {
    CGrid g = EasterGrid();
    g.Closures = Days({{2026, 4, 6}, {2026, 4, 3}});
    try {
        BuildLattice(g);
        FAIL() << "built";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.Code(), RefusalCode::ClosuresUnordered);
    }
}

TEST(Holidays, ThetaOverEasterIsFiveCalendarDaysOfBlackScholesDecay) {
    // Thursday 2 April 2026 to Tuesday 7 April is one trading day of the
    // calendar; with every closed day weighing a whole day it is five days
    // of the closed form's decay (as FiguresTest's Friday-to-Monday is three).
    struct Case { double day; double days; bool weekend; int32_t closures; };
    const Case cases[] = {
        {46114, 5, true, 2},  // Thursday before Good Friday
        {46155, 2, false, 1}, // Wednesday before Ascension Day (14.5)
        {46113, 1, false, 0}, // Wednesday 1 April
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.day);
        CGrid g = WorkedExample(kNormal, true);
        g.Warrant.Strike = 32, g.Warrant.Multiplier = 0.1, g.Rate = 0.025;
        g.Warrant.Expiry = 46465 + k1820;
        g.ValuationTime = c.day + 14.0 / 24;
        g.Closures = HelsinkiClosures(2025, 2027);
        g = Valued(g);
        const double T = double(g.TotalSteps) / g.StepsPerYear, r = std::log(1 + g.Rate);
        const double decay = (BlackScholesCall(30, 32, T - c.days / 365, r, 0.3) -
                              BlackScholesCall(30, 32, T, r, 0.3)) * 0.1;
        const CShareFigures f = FiguresAt(g, 30, false);
        EXPECT_NEAR(*f.ThetaPerDay, decay, 0.02 * std::fabs(decay));
        EXPECT_EQ(f.ThetaOverWeekend, c.weekend);
        EXPECT_EQ(f.ThetaClosures, c.closures);
    }
}

// A schedule of cash dividends: each on its own trading day, one day's
// dividends as one of their sum, and the values against put–call parity and
// the escrowed closed form.
#include "ClosedForms.h"
#include "Figures.h"
#include "TestGrids.h"

#include <boost/math/distributions/normal.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace kelvaro;

namespace {

// The worked example (1 March to 21 April 2006, every calendar day one
// 100-step day: 36 500 steps a year) with these dividends and no form one.
CGrid WithSchedule(std::vector<CDividend> dividends, int32_t type = kNormal, bool call = true) {
    CGrid g = WorkedExample(type, call);
    g.Warrant.Dividend = 0;
    g.Warrant.MoreDividends = std::move(dividends);
    return g;
}

constexpr double kFriday31March = 38807 + k1820, kMonday10April = 38817 + k1820;

} // namespace

TEST(DividendSchedule, EachOnItsTradingDayByTheOneDividendRule) {
    // The days of the one-dividend table (CalendarTest): Friday 31 March is
    // day 22, a Saturday is paid on the Monday, the ends are outside.
    CGrid g = WithSchedule({{kFriday31March, 0.2},
                            {38808 + k1820, 0.2}, // Saturday 1 April
                            {kApril21At1820, 0.2},
                            {38812.5, 0}, // a zero dividend is none
                            {kMonday10April, 0.2}}); // day 28
    ASSERT_TRUE(BuildLattice(g));
    EXPECT_EQ(g.Warrant.DividendDay, -1);
    EXPECT_EQ(g.Warrant.MoreDividendDays, (std::vector<int32_t>{22, 23, -1, -1, 28}));
    EXPECT_EQ(DividendsInLife(g.Warrant), 3);
}

// One dividend given as the form's, as the only one of the list, or split in
// two on one day (the form's and a listed one, or two listed ones) is the
// same valuation, bit for bit, in every row.
TEST(DividendSchedule, OneDaysDividendsAreOneDividendOfTheirSum) {
    for (int32_t type : {kNormal, kTurboSHB, kTurboSG}) {
        SCOPED_TRACE(type);
        CGrid form = WorkedExample(type, true);
        form.Warrant.Dividend = 0.75;
        form.Warrant.DividendDate = kFriday31March;
        const CGrid one = Valued(form);
        ASSERT_EQ(one.Warrant.DividendDay, 22);

        CGrid listed = WithSchedule({{kFriday31March, 0.75}}, type);
        CGrid halves = WithSchedule({{kFriday31March, 0.25}, {kFriday31March + 0.1, 0.5}}, type);
        CGrid mixed = form;
        mixed.Warrant.Dividend = 0.25;
        mixed.Warrant.MoreDividends = {{kFriday31March - 0.5, 0.5}}; // the same day, 06:20
        for (CGrid* g : {&listed, &halves, &mixed}) {
            const CGrid v = Valued(*g);
            EXPECT_TRUE(SameBits(v.Values, one.Values));
            for (int32_t d = 0; d < one.DayCount; ++d)
                ASSERT_TRUE(SameBits(v.DayValues[d], one.DayValues[d])) << "row " << d;
        }
    }
}

// Hull, Options, Futures, and Other Derivatives, put–call parity with known
// dividends: c − p = S − PV(D) − K e^(−rT), whatever the model. On this clock
// T = 52/365 (the valuation day counts whole) and a dividend is paid at the
// close of the trading day before its ex-day: Thursday 30 March after 30
// days, Friday 7 April (before Monday 10 April) after 38; r = ln 1.03.
TEST(DividendSchedule, TwoDividendsKeepPutCallParity) {
    const double r = std::log(1.03), T = 52.0 / 365, S = 15, K = 15;
    const double pv = 0.3 * std::exp(-r * 30 / 365) + 0.4 * std::exp(-r * 38 / 365);
    const std::vector<CDividend> two{{kFriday31March, 0.3}, {kMonday10April, 0.4}};
    const CGrid call = Valued(WithSchedule(two, kNormal, true));
    const CGrid put = Valued(WithSchedule(two, kNormal, false));
    const double c = *ValueAtPrice(call, S) / 0.2, p = *ValueAtPrice(put, S) / 0.2;
    // A linear payoff: the lattice's error is its range's tails, 3e-8 here;
    // a Monday dividend paid two days late (at its own date) would be 7e-5.
    EXPECT_NEAR(c - p, S - pv - K * std::exp(-r * T), 1e-6);
}

// The escrowed form (Hull, as above: Black–Scholes at S − PV(D)) against the
// lattice, which drops the share by each dividend on its day. The models part
// by the volatility the share has on the dividends before they are paid: with
// both paid early (Friday 3 March and Wednesday 8 March, ex after 2 and 7
// days) that is small.
TEST(DividendSchedule, TwoDividendsNearTheEscrowedClosedForm) {
    const double r = std::log(1.03), T = 52.0 / 365, K = 15, sigma = 0.3;
    const double pv = 0.3 * std::exp(-r * 2 / 365) + 0.4 * std::exp(-r * 7 / 365);
    const auto N = [](double x) { return boost::math::cdf(boost::math::normal(), x); };
    const double S = 15 - pv; // worked by hand: Black–Scholes at the escrowed price
    const double d1 = (std::log(S / K) + (r + sigma * sigma / 2) * T) / (sigma * std::sqrt(T));
    const double d2 = d1 - sigma * std::sqrt(T);
    const double want = (S * N(d1) - K * std::exp(-r * T) * N(d2)) * 0.2;

    CGrid g = WithSchedule({{38779 + k1820, 0.3}, {38784 + k1820, 0.4}});
    g.StepsPerDay = 400;
    const CGrid v = Valued(g);
    const CShareFigures f = FiguresAt(v, 15, false);
    ASSERT_TRUE(f.Reference && f.Value);
    EXPECT_TRUE(f.ReferenceEscrowed);
    EXPECT_NEAR(*f.Reference, want, 1e-9);
    // 0.73 % above it here; dividends of 30 March and 10 April part by 5 %.
    EXPECT_GT(*f.Value, want);
    EXPECT_LT(*f.Value, want * 1.01);
    // Turbos have no escrowed form.
    const CGrid turbo = Valued(WithSchedule({{kFriday31March, 0.3}}, kTurboSHB));
    EXPECT_FALSE(ClosedFormValue(turbo, 16));
}

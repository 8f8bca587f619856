// Figures at a share price against Black–Scholes on the lattice's own clock,
// and the value-only roll-back against the full one.
#include "ClosedForms.h"
#include "Figures.h"
#include "TestGrids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <vector>

using namespace kelvaro;

namespace {

double N(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }
double Density(double x) { return std::exp(-0.5 * x * x) / std::sqrt(2 * M_PI); }

// Black–Scholes per share, written out independently of the engine.
struct Bs {
    double value, delta, gamma, vega; // vega per 1.0 of volatility
};
Bs BlackScholes(bool call, double S, double K, double T, double r, double sigma) {
    const double sd = sigma * std::sqrt(T);
    const double d1 = (std::log(S / K) + (r + sigma * sigma / 2) * T) / sd, d2 = d1 - sd;
    const double df = std::exp(-r * T);
    const double value = call ? S * N(d1) - K * df * N(d2) : K * df * N(-d2) - S * N(-d1);
    return {value, call ? N(d1) : N(d1) - 1, Density(d1) / (S * sd), S * Density(d1) * std::sqrt(T)};
}

TEST(Figures, NormalGreeksMatchBlackScholesOnTheLatticeClock) {
    // Worked example (1 March to 21 April 2006, strike 15, 30 %, 3 %).
    // Break-even and leverage by hand from Black–Scholes at 15 (T = 52 / 365,
    // r = ln 1.03, d1 = 0.09381): call 0.70781 per share, delta 0.53737;
    // put 0.64477, delta -0.46263.
    const struct { bool call; double share, breakEven, leverage; } cases[] = {
        {true, 13, 0, 0}, {true, 15, 15.70781, 11.388}, {true, 17, 0, 0},
        {false, 13, 0, 0}, {false, 15, 14.35523, -10.763}, {false, 17, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.call ? "call " : "put ") << c.share);
        const CGrid g = Valued(WorkedExample(kNormal, c.call));
        const double T = double(g.TotalSteps) / g.StepsPerYear, r = std::log(1 + g.Rate), m = 0.2;
        const Bs bs = BlackScholes(c.call, c.share, 15, T, r, 0.3);
        const CShareFigures f = FiguresAt(g, c.share);
        ASSERT_TRUE(f.Value && f.Delta && f.Gamma && f.Vega && f.ThetaPerDay && f.Rho);
        EXPECT_NEAR(*f.Value / m, bs.value, 5e-4 * bs.value);
        EXPECT_NEAR(*f.Delta / m, bs.delta, 1e-4);
        EXPECT_NEAR(*f.Gamma / m, bs.gamma, 1e-3 * bs.gamma);
        EXPECT_NEAR(*f.Vega / m, bs.vega * 0.01, 1e-2 * bs.vega * 0.01);
        EXPECT_EQ(*f.Rho > 0, c.call);
        ASSERT_TRUE(f.Reference);
        EXPECT_NEAR(*f.ReferenceDifference, *f.Value - bs.value * m, 1e-9);
        if (c.breakEven != 0) {
            EXPECT_NEAR(*f.BreakEven, c.breakEven, 2e-4);
            EXPECT_NEAR(*f.Leverage, c.leverage, 0.01);
        }
    }
}

// One trading day of decay at the same share price, whatever the time of
// day: a call S 30, K 32, multiplier 0.1, 30 %, 2.5 %, expiring Friday 19
// March 2027, valued Tuesday to Friday, 8-11 December 2026 (Friday to
// Monday with the weekend, and said so).
TEST(Figures, ThetaIsOneTradingDayOfBlackScholesDecay) {
    CGrid inputs = WorkedExample(kNormal, true);
    inputs.Warrant.Strike = 32, inputs.Warrant.Multiplier = 0.1, inputs.Rate = 0.025;
    inputs.Warrant.Expiry = 46465 + k1820;
    for (bool call : {true, false})
        for (double day : {46364.0, 46365.0, 46366.0, 46367.0})
            for (double hour : {10.0, 14.0, 18.0 + 1.0 / 3}) {
                SCOPED_TRACE(testing::Message() << (call ? "call " : "put ") << day << " " << hour);
                CGrid g = inputs;
                g.Warrant.IsCall = call, g.ValuationTime = day + hour / 24;
                g = Valued(g);
                const double T = double(g.TotalSteps) / g.StepsPerYear, r = std::log(1 + g.Rate);
                const double days = day == 46367 ? 3 : 1;
                const double decay = (BlackScholes(call, 30, 32, T - days / 365, r, 0.3).value -
                                      BlackScholes(call, 30, 32, T, r, 0.3).value) * 0.1;
                const CShareFigures f = FiguresAt(g, 30, false);
                EXPECT_NEAR(*f.ThetaPerDay, decay, 0.02 * std::fabs(decay));
                EXPECT_EQ(f.ThetaOverWeekend, days == 3);
            }

    // On the expiry day: from now to the payoff.
    CGrid expiryDay = WorkedExample(kNormal, true);
    expiryDay.ValuationTime = 38828 + 14.0 / 24;
    const CShareFigures f = FiguresAt(Valued(expiryDay), 15.5, false);
    EXPECT_NEAR(*f.ThetaPerDay, 0.1 - *f.Value, 1e-15);
}

// With the share price a fixed fraction of the way between two nodes, the
// error of gamma against Black–Scholes falls as the steps grow: it belongs
// to the share price, not to the node nearest it.
TEST(Figures, GammaErrorFallsWithMoreStepsBetweenNodes) {
    for (double fraction : {0.25, 0.5, 0.75}) {
        double firstError = 0, lastError = 1;
        for (int32_t steps : {25, 100, 400}) {
            SCOPED_TRACE(testing::Message() << fraction << " of the way, " << steps << " steps");
            CGrid g = WorkedExample(kNormal, true);
            g.Warrant.Expiry = 38784 + k1820; // a week
            g.Warrant.Multiplier = 1, g.StepsPerDay = steps;
            g = Valued(g);
            const auto above = std::upper_bound(g.Prices.begin(), g.Prices.end(), 15.5);
            const double share = above[-1] + fraction * (above[0] - above[-1]);
            const double T = double(g.TotalSteps) / g.StepsPerYear;
            const Bs bs = BlackScholes(true, share, 15, T, std::log(1 + g.Rate), 0.3);
            const CShareFigures f = FiguresAt(g, share, false);
            const double error = std::fabs(*f.Gamma / bs.gamma - 1);
            EXPECT_LT(error, lastError);
            lastError = error;
            if (firstError == 0) firstError = error;
        }
        // Second order in the node spacing: 16 times 25 steps, a quarter of
        // the spacing, take off well over the factor 4 of a first-order error.
        EXPECT_LT(lastError, firstError / 6);
        EXPECT_LT(lastError, 2e-5);
    }
}

// Up to the highest rate the lattice takes the value follows Black–Scholes
// on the lattice's clock: a call's rises with the rate, a put's falls (at
// 1e20 % a call was worth less than at 3 %).
TEST(Figures, ValuesFollowTheRateUpToItsLimit) {
    for (bool call : {true, false}) {
        double last = call ? 0 : 1e9;
        for (double rate : {-0.3, 0.0, 0.03, 0.3, 3.0, 10.0}) {
            SCOPED_TRACE(testing::Message() << (call ? "call " : "put ") << rate);
            CGrid g = WorkedExample(kNormal, call);
            g.Rate = rate;
            g = Valued(g);
            const double T = double(g.TotalSteps) / g.StepsPerYear;
            const double value = *ValueAtPrice(g, 15) / 0.2;
            EXPECT_NEAR(value, BlackScholes(call, 15, 15, T, std::log1p(rate), 0.3).value, 2e-3);
            EXPECT_TRUE(call ? value > last : value < last);
            last = value;
        }
    }
}

// Near the strike, call minus put is the discounted forward on every node.
TEST(Figures, PutCallParityNearTheStrike) {
    const CGrid call = Valued(WorkedExample(kNormal, true)), put = Valued(WorkedExample(kNormal, false));
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

TEST(Figures, TurboLevelsKnockOutAndUnreliableGreeks) {
    const CGrid shb = Valued(WorkedExample(kTurboSHB, true));
    CShareFigures f = FiguresAt(shb, 14.9, false);
    EXPECT_TRUE(f.KnockedOut);
    EXPECT_EQ(f.Value, 0.0);
    EXPECT_FALSE(f.Delta);
    EXPECT_NEAR(*f.KnockOutDistance, (14.9 - 15) / 14.9 * 100, 1e-12);
    f = FiguresAt(shb, shb.Prices[1], false); // the stencil reaches the level
    EXPECT_FALSE(f.KnockedOut);
    EXPECT_TRUE(f.Unreliable);
    f = FiguresAt(shb, 17, false);
    EXPECT_FALSE(f.Unreliable);
    // The barrier at the strike, continuous: the lattice within half a cent.
    ASSERT_TRUE(f.Reference);
    EXPECT_LT(std::fabs(*f.ReferenceDifference), 5e-3);

    const CGrid sg = Valued(WorkedExample(kTurboSG, false));
    // A put is knocked out at and above its stop-loss level 15 - 0.5.
    const double below = *(std::lower_bound(sg.Prices.begin(), sg.Prices.end(), 14.5) - 1);
    f = FiguresAt(sg, below, false);
    EXPECT_EQ(f.KnockOutLevel, 14.5);
    EXPECT_FALSE(f.Reference);
    EXPECT_FALSE(f.KnockedOut);
    EXPECT_TRUE(f.Unreliable);
    EXPECT_TRUE(FiguresAt(sg, 14.5, false).KnockedOut);
}

TEST(Figures, ValueOnlyRollBackIsBitIdenticalToTheFullOne) {
    const struct { int32_t type; bool call; double dividend; } cases[] = {
        {kNormal, true, 0}, {kNormal, false, 0.3}, {kTurboSHB, false, 0}, {kTurboSG, true, 0.3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << (c.call ? " call " : " put ") << c.dividend);
        CGrid inputs = WorkedExample(c.type, c.call);
        inputs.Warrant.Dividend = c.dividend;
        inputs.StepsPerDay = 37;
        const CGrid full = Valued(inputs);
        CGrid lean = GridInputs(full);
        ASSERT_TRUE(ValueOnly(lean));
        EXPECT_TRUE(lean.DayValues.empty());
        EXPECT_TRUE(SameBits(lean.Values, full.Values));
        EXPECT_TRUE(SameBits(lean.Prices, full.Prices));

        // Rows kept along the way: the first two, the dividend's, the
        // expiry's, and one past the end.
        const int32_t days = full.DayCount, dividend = std::max(full.Warrant.DividendDay - 1, 0);
        const std::vector<int32_t> rows = {1, 0, dividend, days - 1, days};
        std::vector<std::vector<double>> kept;
        CGrid keeping = GridInputs(full);
        ASSERT_TRUE(ValueKeepingRows(keeping, rows, kept));
        ASSERT_EQ(kept.size(), rows.size());
        for (std::size_t i = 0; i + 1 < rows.size(); ++i)
            EXPECT_TRUE(SameBits(kept[i], full.DayValues[rows[i]])) << "row " << rows[i];
        EXPECT_TRUE(kept.back().empty());
        EXPECT_TRUE(SameBits(keeping.Values, full.Values));
        // What a batch row keeps for theta: the full grid's rows 0 and 1.
        CGrid lean2 = GridInputs(full);
        std::vector<double> close, nextDay;
        ASSERT_TRUE(ValueWithNextDay(lean2, close, nextDay));
        EXPECT_EQ(close, ValuationDayClose(full));
        EXPECT_EQ(nextDay, NextDayRow(full));
        EXPECT_EQ(lean2.Values, full.Values);
    }
}

// The progress counts every day of all four revaluations, the observer is
// never entered twice at once, and a stop leaves vega and rho out. (That the
// revaluations two at a time give the bits of one after another: a batch's
// rows, valued one at a time, against single runs in BatchTest.)
TEST(Figures, FiguresRevaluationsReportProgress) {
    CGrid inputs = WorkedExample(kNormal, false);
    inputs.StepsPerDay = 200; // over the roll-back's split size
    const CGrid g = Valued(inputs);
    std::atomic<bool> inside{false};
    bool overlapped = false;
    CRevaluationProgress last;
    int64_t calls = 0;
    const CShareFigures f = FiguresAt(g, 14.2, true, [&](const CRevaluationProgress& p) {
        overlapped = overlapped || inside.exchange(true);
        EXPECT_GE(p.DaysDone, last.DaysDone);
        last = p;
        ++calls;
        inside = false;
        return true;
    });
    ASSERT_TRUE(f.Vega && f.Rho);
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(last.Finished, kFigureRevaluations);
    EXPECT_EQ(last.DaysTotal, int64_t{kFigureRevaluations} * g.DayCount);
    EXPECT_EQ(last.DaysDone, last.DaysTotal);
    EXPECT_EQ(calls, last.DaysTotal + kFigureRevaluations);

    const CShareFigures stopped = FiguresAt(g, 14.2, true, [&](const CRevaluationProgress& p) {
        return p.DaysDone < g.DayCount;
    });
    EXPECT_TRUE(stopped.Stopped);
    EXPECT_FALSE(stopped.Vega || stopped.Rho);
    EXPECT_EQ(stopped.Value, f.Value);
}

} // namespace

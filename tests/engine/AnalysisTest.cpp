// Figures at a share price against Black–Scholes on the lattice's own clock,
// implied volatility round trips, refusals, and the value-only roll-back
// against the full one.
#include "Analysis.h"
#include "Kernel.h"
#include "TestGrids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

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

TEST(Analysis, NormalGreeksMatchBlackScholesOnTheLatticeClock) {
    // Worked example (1 March to 21 April 2006, strike 15, 30 %, 3 %).
    const struct { bool call; double share; } cases[] = {
        {true, 13}, {true, 15}, {true, 17}, {false, 13}, {false, 15}, {false, 17}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.call ? "call " : "put ") << c.share);
        const CGrid g = Valued(WorkedExample(kNormal, c.call));
        const double T = double(g.TotalSteps) / g.StepsPerYear, r = std::log(1 + g.Rate), m = 0.2;
        const Bs bs = BlackScholes(c.call, c.share, 15, T, r, 0.3);
        const CShareFigures f = FiguresAt(g, c.share);
        ASSERT_TRUE(f.Value && f.Delta && f.Gamma && f.Vega && f.ThetaPerDay && f.Rho);
        EXPECT_NEAR(*f.Value / m, bs.value, 5e-4 * bs.value);
        EXPECT_NEAR(*f.Delta / m, bs.delta, 1e-3);
        EXPECT_NEAR(*f.Gamma / m, bs.gamma, 1e-2 * bs.gamma);
        EXPECT_NEAR(*f.Vega / m, bs.vega * 0.01, 1e-2 * bs.vega * 0.01);
        // One trading day later: the close of the next day.
        const double later = T - double(g.DaySteps[0] + g.DaySteps[1]) / g.StepsPerYear;
        const double theta = BlackScholes(c.call, c.share, 15, later, r, 0.3).value - bs.value;
        EXPECT_LT(*f.ThetaPerDay, 0);
        EXPECT_NEAR(*f.ThetaPerDay / m, theta, 0.05 * std::fabs(theta));
        EXPECT_EQ(*f.Rho > 0, c.call);
        ASSERT_TRUE(f.Reference);
        EXPECT_NEAR(*f.ReferenceDifference, *f.Value - bs.value * m, 1e-9);
    }
}

// Near the strike, call minus put is the discounted forward on every node.
TEST(Analysis, PutCallParityNearTheStrike) {
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

TEST(Analysis, TurboLevelsKnockOutAndUnreliableGreeks) {
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

TEST(Analysis, ValueOnlyRollBackIsBitIdenticalToTheFullOne) {
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
        ASSERT_EQ(lean.Values.size(), full.Values.size());
        const std::size_t bytes = full.Values.size() * sizeof(double);
        EXPECT_EQ(std::memcmp(lean.Values.data(), full.Values.data(), bytes), 0);
        EXPECT_EQ(std::memcmp(lean.Prices.data(), full.Prices.data(), bytes), 0);

        // Rows kept along the way: the first two, the dividend's, the
        // expiry's, and one past the end.
        const int32_t days = full.DayCount, dividend = std::max(full.Warrant.DividendDay - 1, 0);
        const std::vector<int32_t> rows = {1, 0, dividend, days - 1, days};
        std::vector<std::vector<double>> kept;
        CGrid keeping = GridInputs(full);
        ASSERT_TRUE(ValueKeepingRows(keeping, rows, kept));
        ASSERT_EQ(kept.size(), rows.size());
        for (std::size_t i = 0; i + 1 < rows.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "row " << rows[i]);
            ASSERT_EQ(kept[i].size(), full.Values.size());
            EXPECT_EQ(std::memcmp(kept[i].data(), full.DayValues[rows[i]].data(), bytes), 0);
        }
        EXPECT_TRUE(kept.back().empty());
        EXPECT_EQ(std::memcmp(keeping.Values.data(), full.Values.data(), bytes), 0);
    }
}

// The revaluations two at a time give the bits of one after another; the
// progress counts every day of all four, the observer is never entered
// twice at once, and a stop leaves vega and rho out.
TEST(Analysis, FiguresRevaluationsReportProgressAndKeepTheirBits) {
    CGrid inputs = WorkedExample(kNormal, false);
    inputs.StepsPerDay = 200; // over the roll-back's split size
    const CGrid g = Valued(inputs);
    CShareFigures alone;
    std::thread([&] {
        engine_detail::UseKernelThreadsOnThisThread(false); // one revaluation at a time
        alone = FiguresAt(g, 14.2);
    }).join();

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
    ASSERT_TRUE(f.Vega && f.Rho && alone.Vega && alone.Rho);
    EXPECT_EQ(std::memcmp(&*f.Vega, &*alone.Vega, sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(&*f.Rho, &*alone.Rho, sizeof(double)), 0);
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

TEST(Analysis, ImpliedVolatilityRoundTripsPerProductAndSide) {
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

TEST(Analysis, ImpliedVolatilityRefusesPricesOutOfReachAndInsensitiveOnes) {
    const CGrid g = WorkedExample(kNormal, true);
    CImpliedVolatility r = SolveImpliedVolatility(g, 15, 0.001);
    ASSERT_EQ(r.Outcome, VolatilityOutcome::NoSolution);
    EXPECT_LT(r.ValueAtLowest, r.ValueAtHighest);
    EXPECT_GT(r.ValueAtLowest, 0.001);
    r = SolveImpliedVolatility(g, 15, 5.0);
    EXPECT_EQ(r.Outcome, VolatilityOutcome::NoSolution);

    // A Turbo (SHB) call far above its level is worth about S - K whatever
    // the volatility.
    const CGrid shb = Valued(WorkedExample(kTurboSHB, true));
    const double price = *ValueAtPrice(shb, 25);
    r = SolveImpliedVolatility(shb, 25, price);
    EXPECT_EQ(r.Outcome, VolatilityOutcome::Insensitive);
    EXPECT_TRUE(VolatilityRefusal(r, price, ',').starts_with("Hinnalla 2,01 volatiliteettia ei voi päätellä"));

    // Stopped between days of the first valuation.
    r = SolveImpliedVolatility(g, 15, 0.15, [](int32_t) { return false; });
    EXPECT_EQ(r.Outcome, VolatilityOutcome::Stopped);
}

} // namespace

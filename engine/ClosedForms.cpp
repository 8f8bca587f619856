// Closed forms on the lattice's clock: Black–Scholes for Normal, the
// barrier option with the barrier at the strike for Turbo (SHB).
#include "ClosedForms.h"

#include <boost/math/distributions/normal.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kelvaro {

namespace {

double NormalCdf(double x) {
    return boost::math::cdf(boost::math::normal_distribution<double>(), x);
}

} // namespace

std::optional<double> ClosedForm(const CWarrant& w, double S, const LatticeClock& clock,
                                 double sigma) {
    if (w.ProductType == kTurboSG || !(S > 0) || !(sigma > 0) || !(clock.Years > 0))
        return std::nullopt;
    const double K = w.Strike, T = clock.Years, r = clock.Rate;
    const double sd = sigma * std::sqrt(T); // standard deviation of ln S at expiry
    const double discount = std::exp(-r * T);
    const double d1 = (std::log(S / K) + (r + 0.5 * sigma * sigma) * T) / sd;
    const double d2 = d1 - sd;
    const double call = S * NormalCdf(d1) - K * discount * NormalCdf(d2);
    const double put = K * discount * NormalCdf(-d2) - S * NormalCdf(-d1);
    if (w.ProductType == kNormal) return w.IsCall ? call : put;

    // Barrier H at the strike, no rebate: the knock-in part taken off.
    if (w.IsCall ? S <= K : S >= K) return 0.0;
    const double H = K;
    const double lambda = (r + 0.5 * sigma * sigma) / (sigma * sigma);
    const double y = std::log(H * H / (S * K)) / sd + lambda * sd;
    const double a = std::pow(H / S, 2 * lambda), b = std::pow(H / S, 2 * lambda - 2);
    if (w.IsCall) return call - (S * a * NormalCdf(y) - K * discount * b * NormalCdf(y - sd));
    return put - (-S * a * NormalCdf(-y) + K * discount * b * NormalCdf(-y + sd));
}

LatticeClock ClockOf(int32_t totalSteps, int32_t stepsPerYear, double rate) {
    return {static_cast<double>(totalSteps) / stepsPerYear, std::log1p(rate)};
}

std::optional<double> KnockOutLevel(const CWarrant& w) {
    if (w.ProductType == kTurboSHB) return w.Strike;
    if (w.ProductType == kTurboSG)
        return w.IsCall ? w.Strike + w.KnockOutMargin : w.Strike - w.KnockOutMargin;
    return std::nullopt;
}

int32_t DividendsInLife(const CWarrant& w) {
    int32_t count = w.DividendDay >= 0 ? 1 : 0;
    for (const int32_t day : w.MoreDividendDays) count += day >= 0 ? 1 : 0;
    return count;
}

double DividendsPresentValue(const CGrid& grid) {
    const CWarrant& w = grid.Warrant;
    const double rate = std::log1p(grid.Rate);
    const auto presentValue = [&](int32_t day, double amount) {
        if (day < 0 || day >= grid.DayCount) return 0.0;
        int64_t steps = 0;
        for (int32_t d = 0; d < day; ++d) steps += grid.DaySteps[static_cast<std::size_t>(d)];
        return amount * std::exp(-rate * (static_cast<double>(steps) / grid.StepsPerYear));
    };
    double sum = presentValue(w.DividendDay, w.Dividend);
    const std::size_t more = std::min(w.MoreDividends.size(), w.MoreDividendDays.size());
    for (std::size_t i = 0; i < more; ++i)
        sum += presentValue(w.MoreDividendDays[i], w.MoreDividends[i].Amount);
    return sum;
}

std::optional<double> ClosedFormValue(const CGrid& grid, double share) {
    if (!grid.Allocated || grid.StepsPerYear <= 0) return std::nullopt;
    // Hull, Options, Futures, and Other Derivatives, "known dividends": a
    // European option on a share that pays known cash dividends is valued by
    // Black–Scholes at the share price less their present value. A barrier
    // has no such simple form.
    const bool dividends = DividendsInLife(grid.Warrant) > 0;
    if (dividends && grid.Warrant.ProductType != kNormal) return std::nullopt;
    const double escrowed = dividends ? share - DividendsPresentValue(grid) : share;
    const auto v =
        ClosedForm(grid.Warrant, escrowed, ClockOf(grid.TotalSteps, grid.StepsPerYear, grid.Rate),
                   grid.Warrant.Volatility);
    if (!v) return std::nullopt;
    return *v * grid.Warrant.Multiplier;
}

} // namespace kelvaro

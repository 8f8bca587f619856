#include "Analysis.h"

#include "Calendar.h"
#include "EngineInternal.h"
#include "KernelThreads.h"
#include "Scenario.h"

#include <boost/math/distributions/normal.hpp>
#include <boost/math/tools/toms748_solve.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

double NormalCdf(double x) {
    return boost::math::cdf(boost::math::normal_distribution<double>(), x);
}

// Closed-form value per share (times Multiplier outside) for the product,
// or nullopt where none applies.
struct Clock {
    double Years = 0; // time to expiry
    double Rate = 0;  // continuous
};

std::optional<double> ClosedForm(const CWarrant& w, double S, const Clock& clock, double sigma) {
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

Clock ClockOf(int32_t totalSteps, int32_t stepsPerYear, double rate) {
    return {static_cast<double>(totalSteps) / stepsPerYear, std::log1p(rate)};
}

// Like ValueOnRow, but continues the line through the two end nodes beyond
// the lattice: ten standard deviations out the value is linear in the share
// price (a revaluation at a low volatility has a narrow range).
double ValueReaching(const CGrid& grid, double share) {
    const std::vector<double>& P = grid.Prices;
    const std::vector<double>& V = grid.Values;
    if (const auto v = ValueOnRow(P, V, share)) return *v;
    const size_t n = P.size();
    const size_t i = share < P.front() ? 1 : n - 1;
    return V[i - 1] + (V[i] - V[i - 1]) * ((share - P[i - 1]) / (P[i] - P[i - 1]));
}

// Value at `share` after a value-only revaluation with volatility and rate
// replaced; nullopt when stopped.
std::optional<double> Revalue(const CGrid& inputs, double volatility, double rate, double share,
                              const KeepGoing& keepGoing) {
    CGrid g = GridInputs(inputs);
    g.Warrant.Volatility = volatility;
    g.Rate = rate;
    if (!ValueOnly(g, keepGoing)) return std::nullopt;
    // A turbo past its level is worth what it pays on knock-out.
    const std::optional<double> level = KnockOutLevel(g.Warrant);
    if (level && (g.Warrant.IsCall ? share <= *level : share >= *level) &&
        !ValueOnRow(g.Prices, g.Values, share))
        return g.Warrant.ProductType == kTurboSG ? g.Warrant.ResidualValue : 0.0;
    return ValueReaching(g, share);
}

// Half the bump of 1 point, or half the input when it is smaller, so that
// the bumped input stays valid.
double BumpOf(double x, double floor) {
    return std::min(0.01, 0.5 * (x - floor));
}

std::string Decimals(double x, int decimals, char separator) {
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, decimals);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    std::replace(text.begin(), text.end(), '.', separator);
    return text;
}

// Six significant digits, an exponent only where needed ("14,6", "1e+308").
std::string General(double x, char separator) {
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::general, 6);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    std::replace(text.begin(), text.end(), '.', separator);
    return text;
}

struct Stopped {};

// The hundredth of a per cent nearest the lattice's own root beside `x`, in
// hundredths. A value within the price tolerance at `x` leaves the root up
// to a hundredth or more away, so the root is estimated along the slope (the
// secant to the nearest volatility tried on its other side, else the
// guide's); a midpoint between hundredths is settled by a value seen beyond
// it, by the estimate when clear of it, and only otherwise by a valuation
// at the midpoint.
template <class Excess, class Slope>
double NearestHundredth(double x, const Excess& excess, const std::map<double, double>& seen,
                        const Slope& guideSlope) {
    const double fx = excess(x);
    if (fx == 0) return std::round(x * 10000);
    std::optional<std::pair<double, double>> other;
    for (const auto& [v, d] : seen)
        if (d != 0 && (d < 0) != (fx < 0) &&
            (!other || std::fabs(v - x) < std::fabs(other->first - x)))
            other = std::pair{v, d};
    const std::optional<double> slope =
        other ? std::optional<double>((other->second - fx) / (other->first - x)) : guideSlope(x);
    if (!slope || !(*slope != 0) || !std::isfinite(*slope)) return std::round(x * 10000);
    double estimate = x - fx / *slope;
    if (other)
        estimate = std::clamp(estimate, std::min(x, other->first), std::max(x, other->first));
    const double margin = 0.1 * std::fabs(estimate - x) + 1e-7;
    // Below the price on a rising value (or above it on a falling one): the
    // root lies above.
    const auto rootAbove = [&](double d) { return (d < 0) == (*slope > 0); };
    // Whether the root lies at or above volatility m.
    const auto atOrAbove = [&](double m) {
        for (const auto& [v, d] : {std::pair{x, fx}, other.value_or(std::pair{x, fx})}) {
            if (rootAbove(d) && v >= m) return true;
            if (!rootAbove(d) && v <= m) return false;
        }
        if (std::fabs(estimate - m) > margin) return estimate > m;
        const double d = excess(m);
        return d == 0 || rootAbove(d);
    };
    const auto midpoint = [](double k) { return (k + 0.5) / 10000; };
    double k = std::round(estimate * 10000);
    for (int down = 0; down < 3 && !atOrAbove(midpoint(k - 1)); ++down) --k;
    for (int up = 0; up < 3 && atOrAbove(midpoint(k)); ++up) ++k;
    return k;
}

} // namespace

std::optional<double> ValueOnRow(const std::vector<double>& prices, const std::vector<double>& row,
                                 double share) {
    if (prices.empty() || row.size() != prices.size() ||
        !(share >= prices.front() && share <= prices.back()))
        return std::nullopt;
    const auto above = std::lower_bound(prices.begin(), prices.end(), share);
    const auto i = static_cast<size_t>(above - prices.begin());
    if (*above == share) return row[i];
    const double weight = (share - prices[i - 1]) / (prices[i] - prices[i - 1]);
    return row[i - 1] + (row[i] - row[i - 1]) * weight;
}

std::optional<double> ValueAtPrice(const CGrid& grid, double share) {
    return ValueOnRow(grid, grid.Values, share);
}

CGrid GridInputs(const CGrid& grid) {
    CGrid g;
    CopyInputs(grid, g);
    return g;
}

bool ValueOnly(CGrid& grid, const KeepGoing& keepGoing) {
    if (!engine_detail::BuildValuesOnly(grid))
        throw EngineError("Parametrit virheellisiä, Laskenta peruttu");
    for (int32_t day = grid.DayCount - 1; day >= 0; --day) {
        engine_detail::RollBackDayInto(grid, day, false);
        if (keepGoing && !keepGoing()) return false;
    }
    return true;
}

std::optional<double> KnockOutLevel(const CWarrant& w) {
    if (w.ProductType == kTurboSHB) return w.Strike;
    if (w.ProductType == kTurboSG)
        return w.IsCall ? w.Strike + w.KnockOutMargin : w.Strike - w.KnockOutMargin;
    return std::nullopt;
}

std::optional<double> ClosedFormValue(const CGrid& grid, double share) {
    if (!grid.Allocated || grid.Warrant.DividendDay >= 0 || grid.StepsPerYear <= 0)
        return std::nullopt;
    const auto v =
        ClosedForm(grid.Warrant, share, ClockOf(grid.TotalSteps, grid.StepsPerYear, grid.Rate),
                   grid.Warrant.Volatility);
    if (!v) return std::nullopt;
    return *v * grid.Warrant.Multiplier;
}

bool BuildWithoutRows(CGrid& grid) {
    return engine_detail::BuildValuesOnly(grid, true);
}

namespace {

bool KeepsDayRows(const CGrid& grid) {
    return grid.DayCount >= 1 && grid.DayValues.size() == static_cast<size_t>(grid.DayCount);
}

const std::vector<double> kNoRow;

} // namespace

int32_t NextDayRowIndex(int32_t dayCount) {
    return std::min(1, dayCount - 1);
}

const std::vector<double>& NextDayRow(const CGrid& grid) {
    if (!KeepsDayRows(grid)) return kNoRow;
    return grid.DayValues[NextDayRowIndex(grid.DayCount)];
}

const std::vector<double>& ValuationDayClose(const CGrid& grid) {
    if (!KeepsDayRows(grid) || grid.DayCount < 2) return kNoRow;
    return grid.DayValues[0];
}

bool ValueKeepingRows(CGrid& grid, const std::vector<int32_t>& rows,
                      std::vector<std::vector<double>>& kept, const DayObserver& onDay) {
    if (!BuildWithoutRows(grid)) return false;
    // Row r is the snapshot after day r + 1 is rolled back, that is after
    // days - 1 - r days; the last row holds the expiry values.
    const int32_t days = grid.DayCount;
    kept.assign(rows.size(), {});
    const auto keep = [&](int32_t daysDone) {
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i] >= 0 && rows[i] < days && days - 1 - rows[i] == daysDone)
                kept[i] = grid.Values;
    };
    keep(0);
    return RollBack(grid, [&](int32_t daysDone) {
        keep(daysDone);
        return !onDay || onDay(daysDone);
    });
}

bool ValueWithNextDay(CGrid& grid, std::vector<double>& close, std::vector<double>& nextDay,
                      const DayObserver& onDay) {
    // A refused range is refused by the build below, as BuildLattice would.
    engine_detail::Calendar cal;
    engine_detail::ComputeCalendar(grid, cal);
    // The valuation day's close is row 0, unless that day is the expiry day.
    std::vector<int32_t> rows{NextDayRowIndex(cal.DayCount)};
    if (cal.DayCount >= 2) rows.push_back(0);
    std::vector<std::vector<double>> kept;
    const bool complete = ValueKeepingRows(grid, rows, kept, onDay);
    close.clear();
    if (!kept.empty()) nextDay = std::move(kept[0]);
    if (kept.size() > 1) close = std::move(kept[1]);
    return complete;
}

namespace {

// The inputs of one revaluation.
struct Bumped {
    double Volatility = 0, Rate = 0;
};

// Values at `share` after value-only revaluations at each of `bumps`, in
// order; stops at the first that fails (an error or `onProgress`), whose
// error is rethrown and whose value and those after it stay empty. Two at
// a time, each on one thread, where the roll-back may use two threads here:
// running whole valuations side by side never waits for the other thread,
// where a split roll-back waits once per block of steps.
std::vector<std::optional<double>> RevalueAll(const CGrid& grid, const std::vector<Bumped>& bumps,
                                              double share, const RevaluationObserver& onProgress) {
    const size_t n = bumps.size();
    std::vector<std::optional<double>> values(n);
    std::vector<std::exception_ptr> errors(n);
    std::mutex m; // serialises the observer and guards the progress
    CRevaluationProgress progress;
    progress.DaysTotal = static_cast<int64_t>(grid.DayCount) * static_cast<int64_t>(n);
    bool stopped = false;
    const auto report = [&](bool finished) {
        std::lock_guard lock(m);
        if (finished)
            ++progress.Finished;
        else
            ++progress.DaysDone;
        if (!stopped && onProgress && !onProgress(progress)) stopped = true;
        return !stopped;
    };
    const auto run = [&](size_t i) {
        try {
            values[i] = Revalue(grid, bumps[i].Volatility, bumps[i].Rate, share,
                                [&] { return report(false); });
            if (values[i] && !report(true)) values[i].reset();
        } catch (...) {
            errors[i] = std::current_exception();
        }
    };
    const auto failed = [&](size_t i) { return errors[i] || !values[i]; };

    const bool pairs = KernelThreadsUsableHere();
    for (size_t i = 0; i < n; i += pairs ? 2 : 1) {
        if (pairs && i + 1 < n) {
            // Neither half of the pair splits its roll-back.
            UseKernelThreadsOnThisThread(false);
            std::thread second;
            try {
                second = std::thread([&, i] {
                    UseKernelThreadsOnThisThread(false);
                    run(i + 1);
                });
            } catch (const std::system_error&) {
            }
            run(i);
            if (second.joinable())
                second.join();
            else
                run(i + 1);
            UseKernelThreadsOnThisThread(true);
        } else {
            run(i);
        }
        for (size_t j = i; j < std::min(n, i + (pairs ? 2 : 1)); ++j) {
            if (!failed(j)) continue;
            for (size_t k = j + 1; k < n; ++k) values[k].reset();
            if (errors[j]) std::rethrow_exception(errors[j]);
            return values;
        }
    }
    return values;
}

} // namespace

CShareFigures FiguresAt(const CGrid& grid, double share, bool withRevaluations,
                        const RevaluationObserver& onProgress) {
    return FiguresAt(grid, ValuationDayClose(grid), NextDayRow(grid), share, withRevaluations,
                     onProgress);
}

CShareFigures FiguresAt(const CGrid& grid, const std::vector<double>& close,
                        const std::vector<double>& nextDay, double share, bool withRevaluations,
                        const RevaluationObserver& onProgress) {
    if (!(share > 0 && std::isfinite(share)))
        throw EngineError("Osakkeen hinnan on oltava suurempi kuin 0");
    const CWarrant& w = grid.Warrant;
    CShareFigures f;
    f.Share = share;
    f.KnockOutLevel = KnockOutLevel(w);
    if (f.KnockOutLevel) {
        const double level = *f.KnockOutLevel;
        f.KnockOutDistance = (w.IsCall ? share - level : level - share) / share * 100;
        f.KnockedOut = w.IsCall ? share <= level : share >= level;
    }
    f.Value = ValueAtPrice(grid, share);
    if (f.KnockedOut) {
        // What the holder is paid on knock-out; no Greeks.
        if (!f.Value) f.Value = w.ProductType == kTurboSG ? w.ResidualValue : 0.0;
        return f;
    }
    if (!f.Value) {
        f.OffLattice = true;
        return f;
    }
    const double value = *f.Value;

    // The cubic through the four nodes around the share price (Newton's
    // divided differences; the quadratic of a three-node lattice), its slope
    // and curvature taken at the share price itself: the curvature of the
    // node nearest it would be off by the third derivative times the
    // distance to that node, however fine the lattice.
    const std::vector<double>& P = grid.Prices;
    const std::vector<double>& V = grid.Values;
    const auto n = static_cast<int32_t>(P.size());
    if (n >= 3) {
        const auto atOrBelow =
            static_cast<int32_t>(std::upper_bound(P.begin(), P.end(), share) - P.begin()) - 1;
        const int32_t last = std::min(n, 4) - 1;
        const double* x = &P[std::clamp(atOrBelow - 1, 0, n - 1 - last)];
        const double* y = &V[x - P.data()];
        const double d01 = (y[1] - y[0]) / (x[1] - x[0]), d12 = (y[2] - y[1]) / (x[2] - x[1]);
        const double d012 = (d12 - d01) / (x[2] - x[0]);
        double d0123 = 0;
        if (last == 3) {
            const double d23 = (y[3] - y[2]) / (x[3] - x[2]);
            d0123 = ((d23 - d12) / (x[3] - x[1]) - d012) / (x[3] - x[0]);
        }
        const double a = share - x[0], b = share - x[1], c = share - x[2];
        f.Delta = d01 + d012 * (a + b) + d0123 * (a * b + a * c + b * c);
        f.Gamma = 2 * d012 + 2 * d0123 * (a + b + c);
        if (f.KnockOutLevel)
            f.Unreliable = w.IsCall ? x[0] <= *f.KnockOutLevel : x[last] >= *f.KnockOutLevel;
    }
    if (const auto later = ValueOnRow(grid, nextDay, share)) {
        const auto from = close.empty() ? f.Value : ValueOnRow(grid, close, share);
        if (from) f.ThetaPerDay = *later - *from;
        // Day 1 of the tables is the next trading day; dates run on after it.
        f.ThetaOverWeekend = grid.DayCount >= 2 && grid.DayDates.size() >= 2 &&
                             DayOfWeekOfSerial(grid.DayDates[1]) == 2; // a Monday
    }
    if (f.Delta && value > 0) f.Leverage = *f.Delta * share / value;
    const double perShare = value / w.Multiplier;
    f.Premium =
        (w.IsCall ? perShare + w.Strike - share : perShare - w.Strike + share) / share * 100;
    f.BreakEven = w.IsCall ? w.Strike + perShare : w.Strike - perShare;
    f.Reference = ClosedFormValue(grid, share);
    if (f.Reference) f.ReferenceDifference = value - *f.Reference;

    if (withRevaluations) {
        const double vol = w.Volatility, rate = grid.Rate;
        const double dv = BumpOf(vol, 0), dr = BumpOf(rate, -1);
        const auto v = RevalueAll(
            grid, {{vol + dv, rate}, {vol - dv, rate}, {vol, rate + dr}, {vol, rate - dr}}, share,
            onProgress);
        const auto &up = v[0], &down = v[1], &rateUp = v[2], &rateDown = v[3];
        if (rateDown) {
            f.Vega = (*up - *down) / (2 * dv) * 0.01;
            f.Rho = (*rateUp - *rateDown) / (2 * dr) * 0.01;
        } else {
            f.Stopped = true;
        }
    }
    return f;
}

CImpliedVolatility SolveImpliedVolatility(const CGrid& inputs, double share, double price,
                                          const SolveObserver& onProgress) {
    if (!(share > 0 && std::isfinite(share)))
        throw EngineError("Osakkeen hinnan on oltava suurempi kuin 0");
    if (!(price > 0 && std::isfinite(price)))
        throw EngineError("Warrantin hinnan on oltava suurempi kuin 0");
    const CWarrant& w = inputs.Warrant;
    engine_detail::Calendar cal;
    if (!engine_detail::ComputeCalendar(inputs, cal))
        throw EngineError("Parametrit virheellisiä, Laskenta peruttu");

    CImpliedVolatility result;
    // Below the least volatility the rate's drift allows the lattice refuses.
    const double lowest =
        std::max(kLowestVolatility,
                 1.0001 * engine_detail::LeastVolatility(
                              inputs.Rate, static_cast<double>(cal.TotalSteps) / cal.StepsPerYear));
    result.LowestVolatility = lowest;
    // Past the knock-out level the warrant is worth its knock-out payment
    // at any volatility.
    if (const auto level = KnockOutLevel(w);
        level && (w.IsCall ? share <= *level : share >= *level)) {
        result.Outcome = VolatilityOutcome::KnockedOut;
        result.PriceLow = result.PriceHigh = *level;
        return result;
    }
    // Beyond the lattice of the highest volatility, the widest, the value
    // would be the end nodes' line carried out of all proportion.
    CGrid widest = GridInputs(inputs);
    widest.Warrant.Volatility = kHighestVolatility;
    LatticeRange(widest, result.PriceLow, result.PriceHigh);
    if (!(share >= result.PriceLow && share <= result.PriceHigh)) {
        result.Outcome = VolatilityOutcome::OffLattice;
        return result;
    }

    const KeepGoing keepGoing = [&] { return !onProgress || onProgress(result.Valuations); };
    std::map<double, double> seen;   // volatility -> lattice value - price
    std::map<double, double> values; // volatility -> lattice value, undisturbed by the price
    const auto excess = [&](double vol) {
        if (const auto it = seen.find(vol); it != seen.end()) return it->second;
        const auto v = Revalue(inputs, vol, inputs.Rate, share, keepGoing);
        if (!v) throw Stopped{};
        ++result.Valuations;
        values[vol] = *v;
        return seen[vol] = *v - price;
    };

    // The closed form as a guide: the dividend taken off the share price
    // (escrowed), since only the starting point and slope depend on it.
    const Clock clock = ClockOf(cal.TotalSteps, cal.StepsPerYear, inputs.Rate);
    const double guideShare = cal.DividendDay >= 0 ? share - w.Dividend : share;
    const auto guide = [&](double vol) { return ClosedForm(w, guideShare, clock, vol); };
    const auto guideSlope = [&](double vol) -> std::optional<double> {
        const double h = 1e-4;
        const auto a = guide(vol + h), b = guide(vol - h);
        if (!a || !b) return std::nullopt;
        return (*a - *b) / (2 * h) * w.Multiplier;
    };

    using boost::math::tools::toms748_solve;
    const auto narrow = [](double a, double b) { return std::fabs(b - a) < 0.00005; };
    double start = std::clamp(w.Volatility, lowest, kHighestVolatility);
    if (guide(lowest) && guideShare > 0) {
        const auto g = [&](double vol) { return *guide(vol) * w.Multiplier - price; };
        const double gl = g(lowest), gh = g(kHighestVolatility);
        if ((gl < 0) != (gh < 0)) {
            std::uintmax_t iterations = 60;
            const auto [a, b] = toms748_solve(
                g, lowest, kHighestVolatility, gl, gh,
                [](double x, double y) { return std::fabs(y - x) < 1e-7; }, iterations);
            start = 0.5 * (a + b);
        }
    }

    // Of the neighbouring volatilities tried whose values lie on either side
    // of the price, the pair nearest the start: a turbo's value may cross a
    // price more than once.
    const auto bracket = [&]() -> std::optional<std::pair<double, double>> {
        std::optional<std::pair<double, double>> best;
        for (auto it = seen.begin(); it != seen.end() && std::next(it) != seen.end(); ++it) {
            const auto next = std::next(it);
            if ((it->second < 0) != (next->second < 0) &&
                (!best || std::fabs(next->first + it->first - 2 * start) <
                              std::fabs(best->second + best->first - 2 * start)))
                best = std::pair{it->first, next->first};
        }
        return best;
    };
    const auto close = [](double d) { return std::fabs(d) <= kPriceTolerance; };

    try {
        std::optional<double> root;
        double x = start, fx = excess(x);
        if (close(fx)) root = x;
        // Newton steps on the guide's slope, then secants; each step at
        // least as long as half the last so that the search cannot stall.
        const auto slope0 = guideSlope(x);
        double dx = slope0 && std::fabs(*slope0) > 1e-12
                        ? -fx / *slope0
                        : (fx > 0 ? -1 : 1) * std::max(0.1 * x, 0.02);
        for (int tries = 0; !root && !bracket() && tries < 60; ++tries) {
            if (std::fabs(dx) < 0.0001) dx = std::copysign(0.0001, dx);
            const double next = std::clamp(x + dx, lowest, kHighestVolatility);
            if (next == x) break; // at a bound with no change of sign
            const double fn = excess(next);
            if (close(fn)) {
                root = next;
                break;
            }
            const double secant = (fn - fx) / (next - x);
            const double ahead = secant != 0 ? -fn / secant : 0;
            if (secant != 0 && (ahead > 0) == (dx > 0)) {
                // Nearer the price: on from there, overshooting a little.
                dx = std::copysign(std::max(1.2 * std::fabs(ahead), 0.5 * std::fabs(next - x)),
                                   ahead);
                x = next, fx = fn;
            } else {
                // Farther from the price this way: the other side, farther out.
                dx = -2 * (next - x);
            }
        }
        if (!root) {
            if (!bracket()) {
                // Both ends: the price lies outside what the range gives, or
                // the value turns back inside it.
                excess(lowest);
                excess(kHighestVolatility);
                result.ValueAtLowest = values.at(lowest);
                result.ValueAtHighest = values.at(kHighestVolatility);
            }
            const auto pair = bracket();
            if (!pair) {
                // No volatility gives the price, however little the value
                // moves with it.
                result.VegaPerPoint = (result.ValueAtHighest - result.ValueAtLowest) /
                                      ((kHighestVolatility - lowest) * 100);
                result.Outcome = VolatilityOutcome::NoSolution;
                return result;
            }
            // A value within the tolerance counts as the root.
            const auto f = [&](double vol) {
                const double d = excess(vol);
                return close(d) ? 0.0 : d;
            };
            std::uintmax_t iterations = 60;
            const auto [a, b] = toms748_solve(f, pair->first, pair->second, seen.at(pair->first),
                                              seen.at(pair->second), narrow, iterations);
            root = std::fabs(excess(a)) <= std::fabs(excess(b)) ? a : b;
        }
        result.Volatility = *root;
        result.VolatilityPercent = NearestHundredth(*root, excess, seen, guideSlope) / 100;
        result.Outcome = VolatilityOutcome::Solved;

        // Vega at the root: the guide's where there is one, else the slope
        // over the widest span tried.
        if (const auto s = guideSlope(*root)) {
            result.VegaPerPoint = *s * 0.01;
        } else if (seen.size() >= 2) {
            const auto first = seen.begin(), last = std::prev(seen.end());
            result.VegaPerPoint =
                (last->second - first->second) / ((last->first - first->first) * 100);
        }
        if (std::fabs(result.VegaPerPoint) < kLeastVega)
            result.Outcome = VolatilityOutcome::Insensitive;
    } catch (const Stopped&) {
        result.Outcome = VolatilityOutcome::Stopped;
    }
    return result;
}

std::string VolatilityRefusal(const CImpliedVolatility& r, double price, char separator) {
    const double low = std::min(r.ValueAtLowest, r.ValueAtHighest);
    const double high = std::max(r.ValueAtLowest, r.ValueAtHighest);
    // Two decimals as prices are quoted, four below 0.10; six digits with an
    // exponent where two decimals would run to twenty digits or more.
    const auto price2 = [separator](double x) {
        if (std::fabs(x) >= 1e15) return General(x, separator);
        return Decimals(x, std::fabs(x) < 0.1 ? 4 : 2, separator);
    };
    const std::string at = "Hinnalla " + price2(price);
    const std::string cannot = at + " volatiliteettia ei voi päätellä: ";
    switch (r.Outcome) {
    case VolatilityOutcome::Solved:
        return {};
    case VolatilityOutcome::NoSolution:
        return at + " ei löydy volatiliteettia väliltä " +
               General(r.LowestVolatility * 100, separator) + "–300 %: arvo vaihtelee välillä " +
               price2(low) + "–" + price2(high);
    case VolatilityOutcome::Insensitive:
        return cannot + "warrantin arvo riippuu volatiliteetista vain vähän (vega alle " +
               Decimals(kLeastVega, 4, separator) + " volatiliteettiprosenttiyksikköä kohden)";
    case VolatilityOutcome::KnockedOut:
        return cannot + "osakkeen hinta on knock-out-tasolla " + General(r.PriceLow, separator) +
               " tai sen takana";
    case VolatilityOutcome::OffLattice:
        return cannot +
               "osakkeen hinta on hilan hinta-alueen ulkopuolella kaikilla "
               "volatiliteeteilla 1–300 % (" +
               General(r.PriceLow, separator) + "–" + General(r.PriceHigh, separator) + ")";
    case VolatilityOutcome::Stopped:
        return "Volatiliteettihaku keskeytettiin";
    }
    return {};
}

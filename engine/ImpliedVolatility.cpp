#include "ImpliedVolatility.h"

#include "Calendar.h"
#include "ClosedForms.h"
#include "EngineInternal.h"
#include "Figures.h"

#include <boost/math/tools/toms748_solve.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>

namespace kelvaro {

namespace {

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

namespace {

bool WithinTolerance(double d) {
    return std::fabs(d) <= kPriceTolerance;
}

// Where no volatility need be tried: the share price at or past a turbo's
// knock-out level, or beyond the widest lattice. Sets the outcome and the
// prices that tell why, and returns true, for those.
bool SettledWithoutSearch(const CGrid& inputs, double share, CImpliedVolatility& result) {
    const CWarrant& w = inputs.Warrant;
    // Past the knock-out level the warrant is worth its knock-out payment
    // at any volatility.
    if (const auto level = KnockOutLevel(w);
        level && (w.IsCall ? share <= *level : share >= *level)) {
        result.Outcome = VolatilityOutcome::KnockedOut;
        result.PriceLow = result.PriceHigh = *level;
        return true;
    }
    // Beyond the lattice of the highest volatility, the widest, the value
    // would be the end nodes' line carried out of all proportion.
    CGrid widest = GridInputs(inputs);
    widest.Warrant.Volatility = kHighestVolatility;
    LatticeRange(widest, result.PriceLow, result.PriceHigh);
    if (!(share >= result.PriceLow && share <= result.PriceHigh)) {
        result.Outcome = VolatilityOutcome::OffLattice;
        return true;
    }
    return false;
}

// The share price less the dividends inside the life, undiscounted, the
// form's one first (one dividend is taken off as it is given).
double GuideShare(const CWarrant& w, const engine_detail::Calendar& cal, double share) {
    std::optional<double> dividends;
    if (cal.DividendDay >= 0) dividends = w.Dividend;
    const std::size_t more = std::min(w.MoreDividends.size(), cal.MoreDividendDays.size());
    for (std::size_t i = 0; i < more; ++i)
        if (cal.MoreDividendDays[i] >= 0)
            dividends =
                dividends ? *dividends + w.MoreDividends[i].Amount : w.MoreDividends[i].Amount;
    return dividends ? share - *dividends : share;
}

// One solve: the lattice values tried so far, and the closed form that
// guides the first steps.
class VolatilitySearch {
public:
    VolatilitySearch(const CGrid& inputs, double share, double price,
                     const engine_detail::Calendar& cal, CImpliedVolatility& result,
                     const SolveObserver& onProgress)
        : inputs_(inputs), w_(inputs.Warrant), share_(share), price_(price), result_(result),
          lowest_(result.LowestVolatility),
          // The closed form as a guide: the dividend taken off the share
          // price (escrowed), since only the starting point and slope
          // depend on it.
          clock_(ClockOf(cal.TotalSteps, cal.StepsPerYear, inputs.Rate)),
          guideShare_(GuideShare(w_, cal, share)),
          keepGoing_([this, onProgress] { return !onProgress || onProgress(result_.Valuations); }) {
        start_ = GuideStart();
    }

    // Lattice value minus the price at `vol`, valued once; throws Stopped.
    double Excess(double vol) {
        if (const auto it = seen_.find(vol); it != seen_.end()) return it->second;
        const auto v = Revalue(inputs_, vol, inputs_.Rate, share_, keepGoing_);
        if (!v) throw Stopped{};
        ++result_.Valuations;
        values_[vol] = *v;
        return seen_[vol] = *v - price_;
    }

    // The guide's vega per unit of volatility, per warrant.
    std::optional<double> GuideSlope(double vol) const {
        const double h = 1e-4;
        const auto a = Guide(vol + h), b = Guide(vol - h);
        if (!a || !b) return std::nullopt;
        return (*a - *b) / (2 * h) * w_.Multiplier;
    }

    // The root, from Approach where it lands within the tolerance, else
    // from a bracket; nullopt (NoSolution set) when no volatility gives the price.
    std::optional<double> FindRoot() {
        if (const auto root = Approach()) return root;
        return RootInBracket();
    }

    void SetVegaAt(double root);
    bool InsensitiveWithoutGuide(const std::pair<double, double>& bracket);

    const std::map<double, double>& Seen() const { return seen_; }

private:
    std::optional<double> Guide(double vol) const {
        return ClosedForm(w_, guideShare_, clock_, vol);
    }
    double GuideStart() const;
    std::optional<std::pair<double, double>> Bracket() const;
    std::optional<double> Approach();
    std::optional<double> RootInBracket();

    const CGrid& inputs_;
    const CWarrant& w_;
    const double share_, price_;
    CImpliedVolatility& result_;
    const double lowest_;
    const LatticeClock clock_;
    const double guideShare_;
    const KeepGoing keepGoing_;
    double start_ = 0;
    std::map<double, double> seen_;   // volatility -> lattice value - price
    std::map<double, double> values_; // volatility -> lattice value, undisturbed by the price
};

// The input volatility, or where the guide gives the price.
double VolatilitySearch::GuideStart() const {
    using boost::math::tools::toms748_solve;
    double start = std::clamp(w_.Volatility, lowest_, kHighestVolatility);
    if (Guide(lowest_) && guideShare_ > 0) {
        const auto g = [&](double vol) { return *Guide(vol) * w_.Multiplier - price_; };
        const double gl = g(lowest_), gh = g(kHighestVolatility);
        if ((gl < 0) != (gh < 0)) {
            std::uintmax_t iterations = 60;
            const auto [a, b] = toms748_solve(
                g, lowest_, kHighestVolatility, gl, gh,
                [](double x, double y) { return std::fabs(y - x) < 1e-7; }, iterations);
            start = 0.5 * (a + b);
        }
    }
    return start;
}

// Of the neighbouring volatilities tried whose values lie on either side
// of the price, the pair nearest the start: a turbo's value may cross a
// price more than once.
std::optional<std::pair<double, double>> VolatilitySearch::Bracket() const {
    std::optional<std::pair<double, double>> best;
    for (auto it = seen_.begin(); it != seen_.end() && std::next(it) != seen_.end(); ++it) {
        const auto next = std::next(it);
        if ((it->second < 0) != (next->second < 0) &&
            (!best || std::fabs(next->first + it->first - 2 * start_) <
                          std::fabs(best->second + best->first - 2 * start_)))
            best = std::pair{it->first, next->first};
    }
    return best;
}

// Newton steps on the guide's slope from the start, then secants; each step
// at least as long as half the last so that the search cannot stall. Stops
// at a value within the tolerance (returned) or once a bracket exists.
std::optional<double> VolatilitySearch::Approach() {
    double x = start_, fx = Excess(x);
    if (WithinTolerance(fx)) return x;
    const auto slope0 = GuideSlope(x);
    double dx = slope0 && std::fabs(*slope0) > 1e-12 ? -fx / *slope0
                                                     : (fx > 0 ? -1 : 1) * std::max(0.1 * x, 0.02);
    for (int tries = 0; !Bracket() && tries < 60; ++tries) {
        if (std::fabs(dx) < 0.0001) dx = std::copysign(0.0001, dx);
        const double next = std::clamp(x + dx, lowest_, kHighestVolatility);
        if (next == x) break; // at a bound with no change of sign
        const double fn = Excess(next);
        if (WithinTolerance(fn)) return next;
        const double secant = (fn - fx) / (next - x);
        const double ahead = secant != 0 ? -fn / secant : 0;
        if (secant != 0 && (ahead > 0) == (dx > 0)) {
            // Nearer the price: on from there, overshooting a little.
            dx = std::copysign(std::max(1.2 * std::fabs(ahead), 0.5 * std::fabs(next - x)), ahead);
            x = next, fx = fn;
        } else {
            // Farther from the price this way: the other side, farther out.
            dx = -2 * (next - x);
        }
    }
    return std::nullopt;
}

// TOMS 748 within the bracket nearest the start, once both ends of the
// range are tried if need be.
std::optional<double> VolatilitySearch::RootInBracket() {
    using boost::math::tools::toms748_solve;
    if (!Bracket()) {
        // Both ends: the price lies outside what the range gives, or the
        // value turns back inside it.
        Excess(lowest_);
        Excess(kHighestVolatility);
        result_.ValueAtLowest = values_.at(lowest_);
        result_.ValueAtHighest = values_.at(kHighestVolatility);
    }
    const auto pair = Bracket();
    if (!pair) {
        // No volatility gives the price, however little the value moves
        // with it.
        result_.VegaPerPoint = (result_.ValueAtHighest - result_.ValueAtLowest) /
                               ((kHighestVolatility - lowest_) * 100);
        result_.Outcome = VolatilityOutcome::NoSolution;
        return std::nullopt;
    }
    if (InsensitiveWithoutGuide(*pair)) return std::nullopt;
    // A value within the tolerance counts as the root.
    struct Settled {};
    const auto f = [&](double vol) {
        const double d = Excess(vol);
        if (InsensitiveWithoutGuide(*pair)) throw Settled{};
        return WithinTolerance(d) ? 0.0 : d;
    };
    const auto narrow = [](double a, double b) { return std::fabs(b - a) < 0.00005; };
    std::uintmax_t iterations = 60;
    try {
        const auto [a, b] = toms748_solve(f, pair->first, pair->second, seen_.at(pair->first),
                                          seen_.at(pair->second), narrow, iterations);
        return std::fabs(Excess(a)) <= std::fabs(Excess(b)) ? a : b;
    } catch (const Settled&) {
        return std::nullopt;
    }
}

// Without a guide the vega at the root is the slope over the widest span
// tried (SetVegaAt), and when it is too small to tell the outcome is
// Insensitive wherever the root lies, so the narrowing (some twenty
// valuations where a Turbo (SG) value jumps between lattices) can be left
// out once no later valuation can widen that span. The root lies in one of
// the neighbouring pairs tried inside `bracket` whose values lie on either
// side of the price (TOMS 748 keeps one of them); its hundredth is then
// settled within the hull H of those pairs widened by its width (where the
// nearest value beyond the price may lie) and by four hundredths of a
// point (the midpoints NearestHundredth may value).
bool VolatilitySearch::InsensitiveWithoutGuide(const std::pair<double, double>& bracket) {
    if (Guide(start_) || seen_.size() < 2) return false;
    const auto first = seen_.begin(), last = std::prev(seen_.end());
    const double vega = (last->second - first->second) / ((last->first - first->first) * 100);
    if (!(std::fabs(vega) < kLeastVega)) return false;
    std::optional<double> low, high;
    const auto end = seen_.upper_bound(bracket.second);
    for (auto it = seen_.lower_bound(bracket.first); it != end && std::next(it) != end; ++it) {
        const auto next = std::next(it);
        if ((it->second < 0) == (next->second < 0)) continue;
        if (!low) low = it->first;
        high = next->first;
    }
    if (!low) return false;
    const double reach = (*high - *low) + 0.00045;
    if (!(*low - reach >= first->first && *high + reach <= last->first)) return false;
    result_.VegaPerPoint = vega;
    result_.Outcome = VolatilityOutcome::Insensitive;
    return true;
}

// Vega at the root: the guide's where there is one, else the slope over the
// widest span tried.
void VolatilitySearch::SetVegaAt(double root) {
    if (const auto s = GuideSlope(root)) {
        result_.VegaPerPoint = *s * 0.01;
    } else if (seen_.size() >= 2) {
        const auto first = seen_.begin(), last = std::prev(seen_.end());
        result_.VegaPerPoint =
            (last->second - first->second) / ((last->first - first->first) * 100);
    }
}

} // namespace

CImpliedVolatility SolveImpliedVolatility(const CGrid& inputs, double share, double price,
                                          const SolveObserver& onProgress) {
    if (!(share > 0 && std::isfinite(share))) throw EngineError(RefusalCode::SharePriceNotPositive);
    if (!(price > 0 && std::isfinite(price)))
        throw EngineError(RefusalCode::MarketPriceNotPositive);
    engine_detail::Calendar cal;
    if (!engine_detail::ComputeCalendar(inputs, cal))
        throw EngineError(RefusalCode::DateRangeRefused);

    CImpliedVolatility result;
    // Below the least volatility the rate's drift allows the lattice refuses.
    result.LowestVolatility =
        std::max(kLowestVolatility,
                 1.0001 * engine_detail::LeastVolatility(
                              inputs.Rate, static_cast<double>(cal.TotalSteps) / cal.StepsPerYear));
    if (SettledWithoutSearch(inputs, share, result)) return result;

    try {
        VolatilitySearch search(inputs, share, price, cal, result, onProgress);
        const std::optional<double> root = search.FindRoot();
        if (!root) return result;
        result.Volatility = *root;
        result.VolatilityPercent =
            NearestHundredth(
                *root, [&](double vol) { return search.Excess(vol); }, search.Seen(),
                [&](double vol) { return search.GuideSlope(vol); }) /
            100;
        result.Outcome = VolatilityOutcome::Solved;
        search.SetVegaAt(*root);
        if (std::fabs(result.VegaPerPoint) < kLeastVega)
            result.Outcome = VolatilityOutcome::Insensitive;
    } catch (const Stopped&) {
        result.Outcome = VolatilityOutcome::Stopped;
    }
    return result;
}

} // namespace kelvaro

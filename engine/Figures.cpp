#include "Figures.h"

#include "Calendar.h"
#include "ClosedForms.h"
#include "KernelThreads.h"
#include "Scenario.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace kelvaro {

namespace {

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

// Half the bump of 1 point, or half the input when it is smaller, so that
// the bumped input stays valid.
double BumpOf(double x, double floor) {
    return std::min(0.01, 0.5 * (x - floor));
}

} // namespace

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
    if (!engine_detail::BuildValuesOnly(grid)) throw EngineError(RefusalCode::DateRangeRefused);
    for (int32_t day = grid.DayCount - 1; day >= 0; --day) {
        engine_detail::RollBackDayInto(grid, day, false);
        if (keepGoing && !keepGoing()) return false;
    }
    return true;
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

namespace {

// Delta and gamma at the share price: the slope and curvature of the cubic
// through the four nodes around it (Newton's divided differences; the
// quadratic of a three-node lattice), taken at the share price itself: the
// curvature of the node nearest it would be off by the third derivative
// times the distance to that node, however fine the lattice.
void SetDeltaGamma(const CGrid& grid, double share, CShareFigures& f) {
    const CWarrant& w = grid.Warrant;
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
}

// Vega and rho from central differences of the four revaluations; Stopped
// when `onProgress` stopped them.
void VegaRhoAt(const CGrid& grid, double share, const RevaluationObserver& onProgress,
               CShareFigures& f) {
    const double vol = grid.Warrant.Volatility, rate = grid.Rate;
    const double dv = BumpOf(vol, 0), dr = BumpOf(rate, -1);
    const auto v =
        RevalueAll(grid, {{vol + dv, rate}, {vol - dv, rate}, {vol, rate + dr}, {vol, rate - dr}},
                   share, onProgress);
    const auto &up = v[0], &down = v[1], &rateUp = v[2], &rateDown = v[3];
    if (rateDown) {
        f.Vega = (*up - *down) / (2 * dv) * 0.01;
        f.Rho = (*rateUp - *rateDown) / (2 * dr) * 0.01;
    } else {
        f.Stopped = true;
    }
}

} // namespace

CShareFigures FiguresAt(const CGrid& grid, const std::vector<double>& close,
                        const std::vector<double>& nextDay, double share, bool withRevaluations,
                        const RevaluationObserver& onProgress) {
    if (!(share > 0 && std::isfinite(share))) throw EngineError(RefusalCode::SharePriceNotPositive);
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

    SetDeltaGamma(grid, share, f);
    if (const auto later = ValueOnRow(grid, nextDay, share)) {
        const auto from = close.empty() ? f.Value : ValueOnRow(grid, close, share);
        if (from) f.ThetaPerDay = *later - *from;
        // Day 1 of the tables is the next trading day; dates run on after it.
        f.ThetaOverWeekend = grid.DayCount >= 2 && grid.DayDates.size() >= 2 &&
                             DayOfWeekOfSerial(grid.DayDates[1]) == 2; // a Monday
        // Closures may put the weekend before a later weekday (Easter Tuesday).
        if (grid.DayCount >= 2 && grid.DayDates.size() >= 2 && !grid.Closures.empty())
            for (int32_t k = 1;
                 k < 4000 && std::trunc(grid.DayDates[0]) + k < std::trunc(grid.DayDates[1]); ++k) {
                const double day = std::trunc(grid.DayDates[0]) + k;
                const int weekday = DayOfWeekOfSerial(day);
                if (weekday == 1 || weekday == 7)
                    f.ThetaOverWeekend = true;
                else if (!IsTradingDay(grid.Closures, day))
                    ++f.ThetaClosures;
            }
    }
    if (f.Delta && value > 0) f.Leverage = *f.Delta * share / value;
    const double perShare = value / w.Multiplier;
    f.Premium =
        (w.IsCall ? perShare + w.Strike - share : perShare - w.Strike + share) / share * 100;
    f.BreakEven = w.IsCall ? w.Strike + perShare : w.Strike - perShare;
    f.Reference = ClosedFormValue(grid, share);
    if (f.Reference) f.ReferenceDifference = value - *f.Reference;
    f.ReferenceEscrowed = f.Reference && DividendsInLife(w) > 0;

    if (withRevaluations) VegaRhoAt(grid, share, onProgress, f);
    return f;
}

void SetVegaRho(const CGrid& inputs, CShareFigures& figures,
                const RevaluationObserver& onProgress) {
    if (figures.KnockedOut || figures.OffLattice || !figures.Value) return;
    VegaRhoAt(inputs, figures.Share, onProgress, figures);
}

} // namespace kelvaro

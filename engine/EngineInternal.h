// Shared between the engine's units; not part of the engine's interface.
#pragma once

#include "Grid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace engine_detail {

// The counts of one calendar, computed before anything is committed.
struct Calendar {
    int32_t ExpiryWeekday = 0;
    int32_t Span = 0; // calendar days, both ends included
    int32_t DayCount = 0;
    int32_t DividendDay = -1;
    int32_t ClosedSteps = 0;
    int32_t WeekendDaySteps = 0;
    int32_t StepsPerYear = 0;
    int32_t ValuationDaySteps = 0; // steps left in the valuation day
    int32_t TotalSteps = 0;
    // A Sunday valuation has the Saturday behind it: taken off the Monday.
    int32_t WeekendStepsPast = 0;
};

// Truncates toward zero into a signed 32-bit count; throws when it does not fit.
inline int32_t TruncToInt32(long double x, const char* what) {
    if (!(x > -2147483649.0L && x < 2147483648.0L)) throw EngineError(what);
    return static_cast<int32_t>(x);
}

inline int32_t CheckedInt32(int64_t x, const char* what) {
    if (x < std::numeric_limits<int32_t>::min() || x > std::numeric_limits<int32_t>::max())
        throw EngineError(what);
    return static_cast<int32_t>(x);
}

// Where the lattice is sound. It spans 10 standard deviations of the log
// price either side of the strike: past 10 in all (volatility times the
// root of the term) the prices that carry a call's value lie beyond it, and
// past a variance of 1 a step the branches reach too far. A drift over the
// term of more than 5 standard deviations up (2.5 down, towards the lower
// nodes' extrapolation) carries the values off the lattice. Within these
// the difference from the closed form falls with the steps (a few parts in
// a thousand at 100 steps a day, at any of the limits); beyond them it
// does not.
inline constexpr double kMostSigmas = 10;
inline constexpr double kMostStepVariance = 1;
inline constexpr double kMostDriftSigmasUp = 5;
inline constexpr double kMostDriftSigmasDown = 2.5;
inline constexpr double kMostRate = 10; // 1000 %: beyond any rate a market has paid

// The highest volatility the lattice takes over `years` at `stepsPerYear`.
inline double MostVolatility(double years, double stepsPerYear) {
    return std::min(kMostSigmas / std::sqrt(years), std::sqrt(kMostStepVariance * stepsPerYear));
}

// The least volatility the drift of `rate` over `years` allows.
inline double LeastVolatility(double rate, double years) {
    const double drift = std::log1p(rate);
    return std::fabs(drift) * std::sqrt(years) /
           (drift > 0 ? kMostDriftSigmasUp : kMostDriftSigmasDown);
}

// Computes ExpiryWeekday first (the caller keeps it even on rejection), then
// returns false for a span outside 1 to 2000 calendar days.
bool ComputeCalendar(const CGrid& grid, Calendar& out);

// Walks back from the expiry day filling the two day tables.
void FillDayTables(const Calendar& cal, double expiry, double valuationTime, int32_t stepsPerDay,
                   std::vector<int32_t>& daySteps, std::vector<double>& dayDates);

// The Turbo (SG) residual value from node prices, expiry payoffs and one
// step's probabilities.
double ResidualFor(const CWarrant& terms, int32_t stepsPerDay, const std::vector<double>& prices,
                   const std::vector<double>& payoffs, double pUp, double pMid, double pDown);

// BuildLattice without the day rows: DayValues stays empty (memory of a few
// node arrays only); everything else is exactly what BuildLattice sets.
// `limitAsFullGrid` refuses the sizes BuildLattice refuses, rows counted.
bool BuildValuesOnly(CGrid& grid, bool limitAsFullGrid = false);

// RollBackDay for a grid with or without day rows; `keepRow` false skips the
// snapshot. Values are the same either way.
void RollBackDayInto(CGrid& grid, int32_t day, bool keepRow);

} // namespace engine_detail

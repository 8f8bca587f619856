// Shared between the engine's units; not part of the engine's interface.
#pragma once

#include "Grid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kelvaro {

namespace engine_detail {

// Truncates toward zero into a signed 32-bit count; throws when it does not fit.
inline int32_t TruncToInt32(long double x, RefusalCode what) {
    if (!(x > -2147483649.0L && x < 2147483648.0L)) throw EngineError(what);
    return static_cast<int32_t>(x);
}

inline int32_t CheckedInt32(int64_t x, RefusalCode what) {
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

} // namespace engine_detail

} // namespace kelvaro

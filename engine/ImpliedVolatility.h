// The implied volatility: the volatility at which the lattice value at a
// share price equals a market price.
#pragma once

#include "Grid.h"

#include <cstdint>
#include <functional>

namespace kelvaro {

inline constexpr double kLowestVolatility = 0.01; // 1 %
inline constexpr double kHighestVolatility = 3.0; // 300 %
// |value - price| at which the lattice counts as matching the price.
inline constexpr double kPriceTolerance = 5e-5;
// Vega per volatility point below which the price tells nothing of volatility.
inline constexpr double kLeastVega = 0.0005;

// NoSolution: no volatility in the range gives the price. Insensitive: one
// does, but the value hardly moves with it. KnockedOut: the share price is
// at or past a turbo's knock-out level. OffLattice: it lies outside the
// lattice at every volatility of the range.
enum class VolatilityOutcome { Solved, NoSolution, Insensitive, KnockedOut, OffLattice, Stopped };

struct CImpliedVolatility {
    VolatilityOutcome Outcome = VolatilityOutcome::NoSolution;
    double Volatility = 0;        // where the value came within the tolerance, as a fraction
    double VolatilityPercent = 0; // in %, the hundredth nearest the lattice's own root
    int32_t Valuations = 0;       // lattice valuations used
    double LowestVolatility = kLowestVolatility; // or the least the rate's drift allows
    double ValueAtLowest = 0;                    // at the lowest volatility (NoSolution)
    double ValueAtHighest = 0;                   // at 300 %
    double VegaPerPoint = 0;                     // estimate at the root, or over the whole range
    double PriceLow = 0; // the widest lattice's price range, or the knock-out level
    double PriceHigh = 0;
};

// Called between the trading days of each valuation with the valuations
// finished so far; false stops the solve (Outcome Stopped).
using SolveObserver = std::function<bool(int32_t valuationsDone)>;

// The volatility in [1 %, 300 %] (from the least volatility the lattice
// takes with this rate and term, where that is higher) at which the lattice value at `share`
// equals `price` (per warrant), every other input of `inputs` as given (the
// grid need not be built). Bracketed from the closed-form implied volatility
// where one exists, then Boost's TOMS 748; stops at |value - price| <= 5e-5
// or a bracket narrower than 0.005 points; the two decimals then cost a
// valuation at the midpoint between two hundredths only when the root's
// estimate lies too near it to tell. Without a closed form, an insensitive
// answer is given as soon as no further valuation could change it. Throws
// EngineError for inputs the lattice refuses or a share price or market
// price that is not positive.
CImpliedVolatility SolveImpliedVolatility(const CGrid& inputs, double share, double price,
                                          const SolveObserver& onProgress = {});

} // namespace kelvaro

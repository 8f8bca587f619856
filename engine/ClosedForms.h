// Closed forms that the lattice is checked against and that guide the
// implied-volatility search, and the knock-out level of a turbo.
#pragma once

#include "Grid.h"

#include <cstdint>
#include <optional>

namespace kelvaro {

// The knock-out level of a turbo: Strike for Turbo (SHB), Strike ± margin
// (the stop-loss level) for Turbo (SG); nullopt for Normal.
std::optional<double> KnockOutLevel(const CWarrant& terms);

// Closed-form value per warrant on the lattice's clock (T = TotalSteps /
// StepsPerYear years, continuous rate ln(1 + Rate)): Black–Scholes for
// Normal, down-and-out call / up-and-out put with the barrier at the strike
// for Turbo (SHB). With dividends inside the life, Normal only, escrowed:
// Black–Scholes at the share price less the dividends' present value
// (DividendsPresentValue). nullopt for Turbo (SG), a turbo with a dividend
// inside the life, or a grid never built.
std::optional<double> ClosedFormValue(const CGrid& grid, double share);

// How many dividends of a built grid fall inside its life (DividendDay and
// MoreDividendDays at or above 0).
int32_t DividendsInLife(const CWarrant& w);

// The dividends inside the life of a built grid discounted to the valuation
// moment at ln(1 + Rate), each from the moment the lattice applies it: the
// start of its trading day, after the steps of the days before it.
double DividendsPresentValue(const CGrid& grid);

// The lattice's clock: years to expiry and the continuous rate.
struct LatticeClock {
    double Years = 0; // time to expiry
    double Rate = 0;  // continuous
};

// TotalSteps / StepsPerYear years, continuous rate ln(1 + rate).
LatticeClock ClockOf(int32_t totalSteps, int32_t stepsPerYear, double rate);

// Closed-form value per share (times Multiplier outside) for the product at
// share price `S` and volatility `sigma`, or nullopt where none applies.
std::optional<double> ClosedForm(const CWarrant& w, double S, const LatticeClock& clock,
                                 double sigma);

} // namespace kelvaro

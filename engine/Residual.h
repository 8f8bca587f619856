// Residual value of a knocked-out Turbo (SG).
#pragma once

#include "Grid.h"

#include <cstdint>
#include <vector>

namespace kelvaro {

// The Turbo (SG) residual value from node prices, expiry payoffs and one
// step's probabilities: a short undiscounted induction over 180 minutes of
// exchange hours on a payoff capped at the stop-loss level.
double ResidualFor(const CWarrant& terms, int32_t stepsPerDay, const std::vector<double>& prices,
                   const std::vector<double>& payoffs, double pUp, double pMid, double pDown);

} // namespace kelvaro

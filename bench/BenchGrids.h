// Lattices shared by the benchmarks.
#pragma once

#include "Grid.h"
#include "Lattice.h"
#include "RollBack.h"

namespace kelvaro {

// The largest lattice the calendar allows: 2000 calendar days ending on a
// Friday, valuation at 10:00, 100 steps a day, exchange hours all day,
// weekend of 2.0 days (1430 days, 200000 steps, 6325 nodes). The dividend,
// when given, is dated 20 days before the expiry.
inline CGrid LargestLattice(int32_t type, bool call, double dividend) {
    CGrid g;
    g.Warrant.ProductType = type;
    g.Warrant.IsCall = call;
    g.Warrant.Strike = 15;
    g.Warrant.Expiry = 38828 + 55.0 / 72; // Friday 21 April 2006 18:20
    g.Warrant.Multiplier = 0.2;
    g.Warrant.Volatility = 0.3;
    g.Warrant.Dividend = dividend;
    g.Warrant.DividendDate = 38807 + 55.0 / 72;
    g.Warrant.KnockOutMargin = type == kTurboSG ? 0.5 : 0.0;
    g.ValuationTime = 38828 - 1999 + 10.0 / 24;
    g.OpenFraction = 1.0;
    g.WeekendWeight = 1.0;
    g.Rate = 0.03;
    g.StepsPerDay = 100;
    return g;
}

inline double NodeUpdates(const CGrid& g) {
    return static_cast<double>(g.TotalSteps) * g.NodeCount;
}

} // namespace kelvaro

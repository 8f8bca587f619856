// Records shared by the engine tests.
#pragma once

#include "Grid.h"
#include "Lattice.h"
#include "RollBack.h"

#include <cstring>

namespace kelvaro {

// 1 March 2006 10:00 and 21 April 2006 18:20 as date-time serials.
inline constexpr double kMarch1At10 = 38777.41666666666;
inline constexpr double kApril21At1820 = 38828.76388888889;
inline constexpr double k1820 = 55.0 / 72.0;

// The worked example: Normal call, strike 15, 30 % volatility, 3 % rate,
// 100 steps a day, exchange hours all day, weekend of 2.0 days.
inline CGrid WorkedExample(int32_t productType = kNormal, bool isCall = true) {
    CGrid g;
    g.Warrant = {.ProductType = productType, .IsCall = isCall, .Strike = 15,
                 .Expiry = kApril21At1820, .Multiplier = 0.2, .Volatility = 0.3,
                 .DividendDate = 38807 + k1820,
                 .KnockOutMargin = productType == kTurboSG ? 0.5 : 0.0};
    g.ValuationTime = kMarch1At10;
    g.OpenFraction = 1.0, g.WeekendWeight = 1.0, g.Rate = 0.03, g.StepsPerDay = 100;
    return g;
}

// The grid built (and rolled back); a refused date range fails the test.
inline CGrid Built(CGrid g) {
    if (!BuildLattice(g)) throw EngineError(RefusalCode::DateRangeRefused);
    return g;
}
inline CGrid Valued(CGrid g) {
    g = Built(std::move(g));
    RollBack(g);
    return g;
}

// Bit for bit, not merely ==: a -0 for a 0 differs.
inline bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// A hand-made one-day lattice of the given prices and values, for single
// steps: branch probabilities 0.3, 0.5 and 0.2, no growth, no dividend.
inline CGrid SmallLattice(std::vector<double> prices, std::vector<double> values) {
    CGrid g;
    g.NodeCount = static_cast<int32_t>(prices.size());
    g.DayCount = 1;
    g.Prices = std::move(prices);
    g.Values = std::move(values);
    g.Scratch.assign(g.Prices.size(), 0.0);
    g.DayValues.assign(1, g.Values);
    g.DaySteps.assign(1, 0);
    g.DayDates.assign(1, 0.0);
    g.Allocated = true;
    g.Warrant.DividendDay = -1;
    g.PUp = 0.3, g.PMid = 0.5, g.PDown = 0.2, g.GrowthPerStep = 1;
    return g;
}

} // namespace kelvaro

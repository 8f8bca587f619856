// Lattice construction: the calendar's steps, growth, variance, price range,
// node count, branch probabilities, node prices and expiry values.
#pragma once

#include "Grid.h"

#include <cstdint>

namespace kelvaro {

// Upper bound on the bytes of one build's arrays; larger lattices are refused
// before anything is allocated.
inline constexpr double kMaxArrayBytes = 4.0 * 1024 * 1024 * 1024;

// Builds calendar, lattice, expiry values and (Turbo) the residual value.
// Returns false when DateRangeRefusal refuses the date range; then only
// ExpiryWeekday has changed. A valuation moment on a Saturday counts as the
// Friday's close, one on a Sunday has the Saturday behind it; a dividend
// dated on a weekend is paid as if dated the Monday after. Throws EngineError for inputs without a
// finite valuation; then the record keeps its last successful build.
bool BuildLattice(CGrid& grid);

// The lattice a build would make, without allocating it: its time steps and
// nodes, whose product is the roll-back's node updates. False when the date
// range is refused; throws EngineError as BuildLattice does.
bool LatticeSize(const CGrid& grid, int32_t& totalSteps, int32_t& nodeCount);

// The same with the trading days, and the memory a build would take.
struct CLatticeSize {
    int32_t TotalSteps = 0;
    int32_t NodeCount = 0;
    int32_t DayCount = 0;
    // Node updates of one roll-back.
    double Updates() const { return static_cast<double>(TotalSteps) * NodeCount; }
    // Bytes of the arrays BuildLattice allocates (`withRows`), or a build
    // without day rows; what kMaxArrayBytes is compared with.
    double Bytes(bool withRows) const;
};
bool LatticeSize(const CGrid& grid, CLatticeSize& size);

// The lowest and highest node price a build would have (PriceMin and
// PriceMax), without allocating; false and refusals as LatticeSize.
bool LatticeRange(const CGrid& grid, double& priceMin, double& priceMax);

// Value at expiry for one share price.
double Payoff(const CGrid& grid, double price);

namespace engine_detail {

// BuildLattice without the day rows: DayValues stays empty (memory of a few
// node arrays only); everything else is exactly what BuildLattice sets.
// `limitAsFullGrid` refuses the sizes BuildLattice refuses, rows counted.
bool BuildValuesOnly(CGrid& grid, bool limitAsFullGrid = false);

} // namespace engine_detail

} // namespace kelvaro

// Scenario table: the warrant's value at chosen share prices on chosen
// trading days, read straight from a rolled-back grid.
#pragma once

#include "Calendar.h"
#include "Figures.h"
#include "Grid.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kelvaro {

// Values of one trading day at the grid's node prices. Day 0 is the
// valuation moment (the present values in Values); day d >= 1 is the close
// of trading day d, row d of DayValues; the last day's row is the payoff.
const std::vector<double>& DayRowValues(const CGrid& grid, int32_t day);

// The value of `row` (one value per node of `grid`) at `price`: a node's own
// value on a node, linear between the two nodes around the price, nullopt
// outside PriceMin ... PriceMax (nothing is extrapolated). A price between
// PriceMax and the top node, whose price the repeated multiplications round
// a little lower, is the top node's (likewise at the bottom).
std::optional<double> ValueOnRow(const CGrid& grid, const std::vector<double>& row, double price);

// The trading day whose date (calendar day of DayDates) is `serialDay`, a
// whole date-time serial; nullopt when the grid has no such trading day.
std::optional<int32_t> TradingDayOfDate(const CGrid& grid, int32_t serialDay);

// Nine prices from -20 % to +20 % of `center` in steps of 5 %, each the
// double nearest its decimal value (center 1 gives 0.85, not 0.85000...01).
std::vector<double> DefaultScenarioPrices(double center);
// first, first + step, ... up to last (inclusive within rounding), each the
// double nearest the decimal of first's and step's decimals; empty when
// step is not positive, the bounds are not finite or more than 1000 rows.
std::vector<double> ScenarioPriceRange(double first, double last, double step);

// The valuation moment (day 0), then the first trading day on or after +1
// week, +1 month, +3 months, +6 months, +1 year and every further year, and
// the expiry day; each day once, ascending.
std::vector<int32_t> DefaultScenarioDays(const CGrid& grid);

// What a cell shows.
enum class ScenarioCell { Value, Change, ChangePercent };

struct ScenarioTable {
    std::vector<double> Prices;                             // rows
    std::vector<int32_t> Days;                              // columns, trading-day indices
    std::vector<double> Dates;                              // DayDates of the columns
    std::vector<std::vector<std::optional<double>>> Values; // [row][column]
    // The value now (valuation moment) at the reference share price, the
    // base of the changes; nullopt when that price is off the lattice.
    std::optional<double> Reference;
};

// Fills the table from a rolled-back grid. Days outside 0 ... DayCount - 1
// throw EngineError. `reference` is the share price the changes are
// measured from.
ScenarioTable ComputeScenario(const CGrid& grid, const std::vector<double>& prices,
                              const std::vector<int32_t>& days, double reference);

// A cell as shown: the value, its change against Reference, or that change
// in per cent; nullopt where the value or the base is missing (or the base
// is 0 for per cent).
std::optional<double> ScenarioCellValue(const ScenarioTable& table, std::size_t row,
                                        std::size_t column, ScenarioCell cell);

} // namespace kelvaro

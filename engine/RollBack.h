// Backward induction from expiry to the valuation moment, day by day, with
// the boundary rules of each product and the cash dividend.
#pragma once

#include "Grid.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace kelvaro {

// One backward time step over all nodes, with the product's boundary rules.
// Values and Scratch trade places: afterwards Scratch holds the values before
// the step. An overflow throws and leaves Values at the last finite step.
void StepBack(CGrid& grid);

// Maps the value curve across a cash dividend of `amount`; an overflow
// throws and leaves Values as they were before the dividend.
void ApplyDividend(CGrid& grid, double amount);
// The same with the form's dividend, Warrant.Dividend.
void ApplyDividend(CGrid& grid);

// All time steps of one trading day, the dividends on its day, and the
// snapshot into the previous day's row of DayValues.
void RollBackDay(CGrid& grid, int32_t day);

// Called after each trading day with the days rolled back so far; returning
// false stops the roll-back between two days.
using DayObserver = std::function<bool(int32_t daysDone)>;

// Rolls the whole grid back from expiry to the valuation moment, last day
// first. Returns false when `onDay` stopped it: the grid is then incomplete
// and must not be shown. Values of a run that is not stopped are exactly
// those of RollBackDay called day by day.
bool RollBack(CGrid& grid, const DayObserver& onDay = {});

namespace engine_detail {

// RollBackDay for a grid with or without day rows; `keepRow` false skips the
// snapshot. Values are the same either way.
void RollBackDayInto(CGrid& grid, int32_t day, bool keepRow);

// The sum of the dividends applied on this trading day, nullopt for none.
std::optional<double> DividendOnDay(const CWarrant& w, int32_t day);

} // namespace engine_detail

} // namespace kelvaro

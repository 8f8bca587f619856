// The figures at a share price and the implied volatility as both front ends
// show them: Finnish names, units and numbers, or kelvaro's JSON objects.
#pragma once

#include "Figures.h"
#include "ImpliedVolatility.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvaro {

// One figure as the window lists it: name, number (or "–") and unit.
struct FigureRow {
    std::string Name, Value, Unit;
};
std::vector<FigureRow> FigureRows(const CShareFigures& figures, char separator);

// The solved volatility in % with two decimals, e.g. "31,27".
std::string VolatilityPercentText(const CImpliedVolatility& result, char separator);

// One "name: value" line per figure, numbers with `separator`, "–" where undefined.
std::string FiguresText(const CShareFigures& figures, char separator);

// The figures as FiguresJson writes them, key and value, Share first.
std::vector<std::pair<std::string_view, std::optional<double>>>
FigureFields(const CShareFigures& figures);

// "  \"AtShare\": {...}" without a line end: the listed keys in order, null where undefined.
std::string FiguresJson(const CShareFigures& figures);

// The solved volatility in % with two decimals and the valuations it took.
std::string VolatilityText(const CImpliedVolatility& result, char separator);

// "  \"ImpliedVolatility\": {...}" without a line end.
std::string VolatilityJson(const CImpliedVolatility& result, double price);

// The outcome's name in JSON and CSV: "Solved", "NoSolution", "Insensitive",
// "KnockedOut", "OffLattice", "Stopped".
std::string_view VolatilityOutcomeName(VolatilityOutcome outcome);

// "  \"ImpliedVolatility\": {...}" for a solve that found no volatility: the
// members of VolatilityJson with "Volatility" null, then "Outcome", "Cause"
// and the numbers that tell why (NoSolution: the range and the values at its
// ends; Insensitive: the vega per point; KnockedOut: the level).
std::string UnsolvedVolatilityJson(const CImpliedVolatility& result, double price,
                                   std::string_view cause);

} // namespace kelvaro

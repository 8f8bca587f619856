// Figures at one share price from a valuated grid (value, delta, gamma,
// theta, vega, rho and the rest), and the revaluations that keep no day rows.
//
// Every function takes the record by const reference (or a copy of its
// inputs), so a worker thread can run them on its own copy of the grid.
// Prices are in the share's units; values are per warrant (the payoff times
// Multiplier), as in Values.
#pragma once

#include "Grid.h"
#include "Lattice.h"
#include "RollBack.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kelvaro {

// Value on one row of node values (Values or a DayValues row) at `share`:
// linear between the two nodes around it, a node's own value exactly on it.
// nullopt when `share` is outside [Prices.front(), Prices.back()] or the row
// does not match the prices.
std::optional<double> ValueOnRow(const std::vector<double>& prices, const std::vector<double>& row,
                                 double share);

// ValueOnRow on the present values, over [PriceMin, PriceMax] (see the
// grid's ValueOnRow in Scenario.h).
std::optional<double> ValueAtPrice(const CGrid& grid, double share);

// The grid's inputs (terms, valuation moment, calendar, rate, steps) without
// any array or computed field: what BuildLattice reads.
CGrid GridInputs(const CGrid& grid);

// Called between trading days of a revaluation; false stops it.
using KeepGoing = std::function<bool()>;

// BuildLattice then RollBack, but no day rows are allocated or stored
// (DayValues stays empty, memory O(NodeCount)). Prices and Values are bit for
// bit those of the full valuation. Throws EngineError as BuildLattice does,
// and with RefusalCode::DateRangeRefused for a rejected date range. Returns false when `keepGoing`
// stopped it (the grid is incomplete).
bool ValueOnly(CGrid& grid, const KeepGoing& keepGoing = {});

// Value at `share` after a value-only revaluation of `inputs` with the
// volatility and the rate replaced: where a turbo is past its level, what it
// pays on knock-out; beyond the lattice, the line through its two end nodes
// carried on. nullopt when `keepGoing` stopped it.
std::optional<double> Revalue(const CGrid& inputs, double volatility, double rate, double share,
                              const KeepGoing& keepGoing);

// BuildLattice then RollBack in memory O(NodeCount) but for the day rows
// numbered in `rows` (as indexed in DayValues), each copied to `kept` in the
// same order (an index outside the grid's rows gives an empty row). Prices,
// Values and the kept rows are bit for bit those of the full valuation, and
// it refuses what BuildLattice and RollBack refuse with the same causes (the
// full grid's size limit included). Returns false, having built nothing,
// when BuildLattice would return false, and false when `onDay` stopped it.
bool ValueKeepingRows(CGrid& grid, const std::vector<int32_t>& rows,
                      std::vector<std::vector<double>>& kept, const DayObserver& onDay = {});

// ValueKeepingRows for FiguresAt: the two rows it takes theta from go to
// `close` and `nextDay` (see ValuationDayClose and NextDayRow).
bool ValueWithNextDay(CGrid& grid, std::vector<double>& close, std::vector<double>& nextDay,
                      const DayObserver& onDay = {});

// BuildLattice without the day rows (memory O(NodeCount)), refusing exactly
// what BuildLattice refuses: false for a refused date range, EngineError with
// its cause otherwise.
bool BuildWithoutRows(CGrid& grid);

// The day rows FiguresAt takes theta from, both empty when the grid keeps no
// day rows. NextDayRow: the next trading day's close (row 1), or the expiry
// row when the valuation day is the expiry day. ValuationDayClose: the
// valuation day's close (row 0); empty on the expiry day, where theta runs
// from now.
const std::vector<double>& NextDayRow(const CGrid& grid);
// Its index in DayValues for a grid of `dayCount` trading days.
int32_t NextDayRowIndex(int32_t dayCount);
const std::vector<double>& ValuationDayClose(const CGrid& grid);

// Figures at one share price. Undefined ones are nullopt.
struct CShareFigures {
    double Share = 0;
    std::optional<double> Value;               // per warrant
    std::optional<double> Delta;               // value per 1 unit of share price
    std::optional<double> Gamma;               // delta per 1 unit of share price
    std::optional<double> ThetaPerDay;         // one trading day's change, close to close
    std::optional<double> Vega;                // per 1 volatility point
    std::optional<double> Rho;                 // per 1 rate point
    std::optional<double> Leverage;            // Delta * Share / Value
    std::optional<double> Premium;             // %
    std::optional<double> BreakEven;           // share price at expiry
    std::optional<double> KnockOutLevel;       // turbos
    std::optional<double> KnockOutDistance;    // % of Share, negative once past the level
    std::optional<double> Reference;           // closed form, where one applies
    std::optional<double> ReferenceDifference; // Value - Reference
    bool OffLattice = false;        // beyond the lattice on the live side: only the level is set
    bool KnockedOut = false;        // at or past the knock-out level: no Greeks
    bool Unreliable = false;        // the nodes of the differences reach the level or the zone
    bool Stopped = false;           // `onProgress` stopped the revaluations: no vega or rho
    bool ThetaOverWeekend = false;  // the next trading day is a Monday: theta spans the weekend
    bool ReferenceEscrowed = false; // Reference is the escrowed-dividend form
    int32_t ThetaClosures = 0;      // weekday closures theta spans (Good Friday, Easter Monday)
};

// The value-only revaluations vega and rho take: volatility up and down,
// rate up and down.
inline constexpr int32_t kFigureRevaluations = 4;

// How far FiguresAt's revaluations have come.
struct CRevaluationProgress {
    int32_t Finished = 0;  // revaluations complete, of kFigureRevaluations
    int64_t DaysDone = 0;  // trading days rolled back, over all of them
    int64_t DaysTotal = 0; // kFigureRevaluations times the grid's DayCount
};

// Called between the revaluations' trading days and after each of them;
// false stops them. Calls never overlap, but they may come from a thread
// other than FiguresAt's caller's.
using RevaluationObserver = std::function<bool(const CRevaluationProgress&)>;

// Figures at `share` (> 0) from a grid after BuildLattice and RollBack.
// Delta and Gamma are the slope and curvature at the share price of the
// cubic through the four nodes around it (two on each side where the lattice
// has them). ThetaPerDay is the change at the same share price from the
// valuation day's close to the next trading day's (a Friday's to the
// Monday's, with the weekend's weight), or from now to expiry when the
// valuation day is the expiry day. Vega and Rho come from central
// differences of kFigureRevaluations value-only revaluations (1 point up and
// down, less when the input is smaller), which `withRevaluations` false
// skips. Where a roll-back on the calling thread may use two threads, the
// revaluations run two at a time, each on one thread (the same values,
// without the split's waits). Throws EngineError for a share price that is
// not positive, or the first of the revaluations' errors in the order above.
CShareFigures FiguresAt(const CGrid& grid, double share, bool withRevaluations = true,
                        const RevaluationObserver& onProgress = {});

// The same with theta from the rows `close` and `nextDay` (ValuationDayClose
// and NextDayRow of the full grid, or what ValueWithNextDay kept): an empty
// `close` with `nextDay` set runs from now; an empty `nextDay` gives no theta.
CShareFigures FiguresAt(const CGrid& grid, const std::vector<double>& close,
                        const std::vector<double>& nextDay, double share,
                        bool withRevaluations = true, const RevaluationObserver& onProgress = {});

// Vega and Rho for figures FiguresAt gave without its revaluations, bit for
// bit as it gives them with: `inputs` need only hold the grid's inputs (the
// volatility and rate of that valuation). Nothing where FiguresAt gives
// none (knocked out, off the lattice); Stopped when `onProgress` stopped them.
void SetVegaRho(const CGrid& inputs, CShareFigures& figures,
                const RevaluationObserver& onProgress = {});

} // namespace kelvaro

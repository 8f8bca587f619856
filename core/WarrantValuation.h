// Valuing one warrant from its input texts as a list row: the figures at a
// share price, and the implied volatility at a market price, with every
// refusal as its status and message. kelvaro's single run takes the same
// steps, so a row gives the numbers and messages of that run.
#pragma once

#include "Figures.h"
#include "ImpliedVolatility.h"
#include "Refusals.h"
#include "WarrantInputs.h"

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace kelvaro {

// A valuation done that has no answer (no volatility gives the price).
class RefusedError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How a valuation ended; the numbers are kelvaro's exit statuses.
enum ValuationStatus : int {
    kValued = 0,
    kInputRefused = 2,    // InputError: a bad input, a refused date range, a price off the lattice
    kValuationFailed = 3, // RefusedError, an engine error, anything unexpected (out of memory)
};

// The status of the exception being handled (call from a catch block) and
// its message for people, as kelvaro prints it after "kelvaro: ".
ValuationStatus StatusOfCurrentException(std::string& message);

// Why a price has no value: it lies outside the lattice's prices. A message
// for people: the numbers with `separator`, each reading back to its double.
std::string OffLatticeMessage(const CGrid& grid, double price, char separator);

// Throws InputError when the command cannot use the grid's date range: the
// window's box text with its cause, on one line.
void RequireUsableDateRange(const CGrid& grid, RefusedCommand command);

// Solves for the volatility that gives `price` at `share` and sets it in
// `grid` as typed (SolvedVolatilityInput). A share price off every lattice
// is an InputError; no volatility a RefusedError, its message with `separator`.
CImpliedVolatility SolveVolatility(CGrid& grid, double share, double price, char separator,
                                   const SolveObserver& observer = {});

// The same, but any outcome other than OffLattice is returned: the volatility
// is set in `grid` only when Solved, and Stopped is returned as it is.
CImpliedVolatility TrySolveVolatility(CGrid& grid, double share, double price, char separator,
                                      const SolveObserver& observer = {});

// Throws InputError when the figures' share price lies off the lattice.
void RequireOnLattice(const CShareFigures& figures, const CGrid& grid, char separator);

// A row's outcome: its status and message, and with "share" its figures
// (with "price" also the solve, whatever its outcome, and that price).
struct WarrantRun {
    int Status = kValued;
    std::string Error;
    std::optional<CShareFigures> Figures;
    // With "price": the solve. The figures are at its volatility when its
    // Outcome is Solved, else at the row's own volatility, and
    // VolatilityCause says (in Finnish) why no volatility gives the price.
    std::optional<CImpliedVolatility> Solved;
    double Price = 0;
    std::string VolatilityCause;

    // A volatility was found and the figures are at it.
    bool HasVolatility() const { return Solved && Solved->Outcome == VolatilityOutcome::Solved; }
};

// What a row's valuation includes, and how it is stopped.
struct RowOptions {
    // The four revaluations of vega and rho (see AddVegaRho).
    bool VegaRho = true;
    // Asked between trading days; false stops the row (kValuationFailed).
    std::function<bool()> KeepGoing;
};

// Values the warrant without keeping day rows; messages with the regional
// decimal separator. A market price that gives no volatility leaves the row
// valued at its own volatility (status kValued) with the solve's outcome;
// a share price off the lattice is an input refusal. Never throws.
WarrantRun ValueWarrant(const InputTexts& texts, const RowOptions& options = {});

// Vega and rho for a run valued without them (RowOptions::VegaRho false),
// bit for bit as ValueWarrant with them gives them: `run`'s figures with
// them set (four value-only revaluations, no solve). Unchanged where the
// run has no figures or they have no vega (knocked out); Stopped set in the
// figures when `onProgress` stopped it. Never throws: an error is the run's.
WarrantRun AddVegaRho(const InputTexts& texts, WarrantRun run,
                      const RevaluationObserver& onProgress = {});

} // namespace kelvaro

// Valuing one warrant from its input texts as a list row: the figures at a
// share price, and the implied volatility at a market price, with every
// refusal as its status and message. kelvaro's single run takes the same
// steps, so a row gives the numbers and messages of that run.
#pragma once

#include "Figures.h"
#include "ImpliedVolatility.h"
#include "Refusals.h"
#include "WarrantInputs.h"

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

// Throws InputError when the figures' share price lies off the lattice.
void RequireOnLattice(const CShareFigures& figures, const CGrid& grid, char separator);

// A row's outcome: its status and message, and with "share" its figures
// (with "price" also the solved volatility and that price).
struct WarrantRun {
    int Status = kValued;
    std::string Error;
    std::optional<CShareFigures> Figures;
    std::optional<CImpliedVolatility> Solved;
    double Price = 0;
};

// Values the warrant without keeping day rows; messages with the regional
// decimal separator. Never throws.
WarrantRun ValueWarrant(const InputTexts& texts);

} // namespace kelvaro

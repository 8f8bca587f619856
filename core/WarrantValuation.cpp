#include "WarrantValuation.h"

#include "Conversions.h"
#include "InputScaling.h"
#include "PeopleText.h"
#include "Refusals.h"

#include <new>
#include <vector>

namespace kelvaro {

ValuationStatus StatusOfCurrentException(std::string& message) {
    try {
        throw;
    } catch (const InputError& e) {
        message = e.what();
        return kInputRefused;
    } catch (const RefusedError& e) {
        message = e.what();
    } catch (const EngineError& e) {
        message = "laskenta keskeytyi: " + RefusalText(e);
    } catch (const ServiceRefusal& e) {
        message = std::string("laskenta keskeytyi: ") + e.what();
    } catch (const std::bad_alloc&) {
        message = "muisti ei riitä laskentaan";
    } catch (const std::exception& e) {
        message = std::string("odottamaton virhe: ") + e.what();
    } catch (...) {
        message = "odottamaton virhe";
    }
    return kValuationFailed;
}

std::string OffLatticeMessage(const CGrid& grid, double price, char separator) {
    // The record's range, as --json prints it and --value-at accepts it.
    const bool built = !grid.Prices.empty();
    const auto number = [separator](double x) { return PeopleNumber(x, -1, separator); };
    return "hinta " + number(price) + " on hilan hinta-alueen ulkopuolella (" +
           (built ? number(grid.PriceMin) : std::string()) + " – " +
           (built ? number(grid.PriceMax) : std::string()) + ")";
}

void RequireUsableDateRange(const CGrid& grid, RefusedCommand command) {
    const std::string refusal = DateRangeRefusalText(grid, command, RefusalForm::Line);
    if (!refusal.empty()) throw InputError(refusal);
}

CImpliedVolatility TrySolveVolatility(CGrid& grid, double share, double price, char separator,
                                      const SolveObserver& observer) {
    // Refuses what the valuation would before the solve starts.
    BuildWithoutRows(grid);
    const CImpliedVolatility solved = SolveImpliedVolatility(grid, share, price, observer);
    // A share price off every lattice is the input's fault, as without a price.
    if (solved.Outcome == VolatilityOutcome::OffLattice)
        throw InputError(VolatilityRefusal(solved, price, separator));
    if (solved.Outcome == VolatilityOutcome::Solved)
        grid.Warrant.Volatility = ReadVolatility(SolvedVolatilityInput(solved, '.'));
    return solved;
}

CImpliedVolatility SolveVolatility(CGrid& grid, double share, double price, char separator,
                                   const SolveObserver& observer) {
    const CImpliedVolatility solved = TrySolveVolatility(grid, share, price, separator, observer);
    if (solved.Outcome != VolatilityOutcome::Solved)
        throw RefusedError(VolatilityRefusal(solved, price, separator));
    return solved;
}

void RequireOnLattice(const CShareFigures& figures, const CGrid& grid, char separator) {
    if (figures.OffLattice) throw InputError(OffLatticeMessage(grid, figures.Share, separator));
}

namespace {

// A row stopped by its KeepGoing.
struct RowStopped {};

const char* const kRowStopped = "laskenta keskeytettiin";

// The row's grid as ValueWarrant reads it, before any solve.
CGrid ReadRowGrid(const InputTexts& texts) {
    RequireShareForPrice(texts);
    RequireInput(texts, "expiry");
    CGrid grid = ReadWarrant(texts);
    RequireUsableDateRange(grid, RefusedCommand::Calculate);
    return grid;
}

} // namespace

WarrantRun ValueWarrant(const InputTexts& texts, const RowOptions& options) {
    WarrantRun run;
    // Observers only where asked for: none is the single run's path.
    const auto& keepGoing = options.KeepGoing;
    const SolveObserver onSolve =
        keepGoing ? SolveObserver([&](int32_t) { return keepGoing(); }) : SolveObserver();
    const DayObserver onDay =
        keepGoing ? DayObserver([&](int32_t) { return keepGoing(); }) : DayObserver();
    const RevaluationObserver onRevaluation =
        keepGoing ? RevaluationObserver([&](const CRevaluationProgress&) { return keepGoing(); })
                  : RevaluationObserver();
    try {
        CGrid grid = ReadRowGrid(texts);
        const char separator = DecimalSeparator();
        const SharePrices prices = ReadSharePrices(texts);
        std::optional<CImpliedVolatility> solved;
        if (prices.Price) {
            solved = TrySolveVolatility(grid, *prices.Share, *prices.Price, separator, onSolve);
            if (solved->Outcome == VolatilityOutcome::Stopped) throw RowStopped{};
        }
        std::vector<double> close, nextDay; // the only day rows kept
        if (!ValueWithNextDay(grid, close, nextDay, onDay) && keepGoing && !keepGoing())
            throw RowStopped{};
        if (!prices.Share) return run;
        const CShareFigures figures =
            FiguresAt(grid, close, nextDay, *prices.Share, options.VegaRho, onRevaluation);
        if (figures.Stopped) throw RowStopped{};
        RequireOnLattice(figures, grid, separator);
        run.Figures = figures;
        if (solved) {
            run.Solved = solved;
            run.Price = *prices.Price;
            run.VolatilityCause = VolatilityRefusal(*solved, *prices.Price, separator);
        }
    } catch (const RowStopped&) {
        run = WarrantRun{};
        run.Status = kValuationFailed;
        run.Error = kRowStopped;
    } catch (...) {
        run = WarrantRun{};
        run.Status = StatusOfCurrentException(run.Error);
    }
    return run;
}

WarrantRun AddVegaRho(const InputTexts& texts, WarrantRun run,
                      const RevaluationObserver& onProgress) {
    if (run.Status != kValued || !run.Figures) return run;
    try {
        CGrid grid = ReadRowGrid(texts);
        if (run.HasVolatility())
            grid.Warrant.Volatility = ReadVolatility(SolvedVolatilityInput(*run.Solved, '.'));
        SetVegaRho(grid, *run.Figures, onProgress);
    } catch (...) {
        // As ValueWarrant with the revaluations fails.
        run = WarrantRun{};
        run.Status = StatusOfCurrentException(run.Error);
    }
    return run;
}

} // namespace kelvaro

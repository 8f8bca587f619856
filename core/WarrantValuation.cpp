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

CImpliedVolatility SolveVolatility(CGrid& grid, double share, double price, char separator,
                                   const SolveObserver& observer) {
    // Refuses what the valuation would before the solve starts.
    BuildWithoutRows(grid);
    const CImpliedVolatility solved = SolveImpliedVolatility(grid, share, price, observer);
    // A share price off every lattice is the input's fault, as without a price.
    if (solved.Outcome == VolatilityOutcome::OffLattice)
        throw InputError(VolatilityRefusal(solved, price, separator));
    if (solved.Outcome != VolatilityOutcome::Solved)
        throw RefusedError(VolatilityRefusal(solved, price, separator));
    grid.Warrant.Volatility = ReadVolatility(SolvedVolatilityInput(solved, '.'));
    return solved;
}

void RequireOnLattice(const CShareFigures& figures, const CGrid& grid, char separator) {
    if (figures.OffLattice) throw InputError(OffLatticeMessage(grid, figures.Share, separator));
}

WarrantRun ValueWarrant(const InputTexts& texts) {
    WarrantRun run;
    try {
        RequireShareForPrice(texts);
        RequireInput(texts, "expiry");
        CGrid grid = ReadWarrant(texts);
        const char separator = DecimalSeparator();
        const SharePrices prices = ReadSharePrices(texts);
        RequireUsableDateRange(grid, RefusedCommand::Calculate);
        CImpliedVolatility solved;
        if (prices.Price) solved = SolveVolatility(grid, *prices.Share, *prices.Price, separator);
        std::vector<double> close, nextDay; // the only day rows kept
        ValueWithNextDay(grid, close, nextDay);
        if (!prices.Share) return run;
        const CShareFigures figures = FiguresAt(grid, close, nextDay, *prices.Share, true);
        RequireOnLattice(figures, grid, separator);
        run.Figures = figures;
        if (prices.Price) run.Solved = solved, run.Price = *prices.Price;
    } catch (...) {
        run.Status = StatusOfCurrentException(run.Error);
    }
    return run;
}

} // namespace kelvaro

// Lattice construction: growth, variance, price range, node count, node ratio,
// branch probabilities, node prices and expiry values. Each formula runs at
// extended precision and is rounded to double where it is stored or handed to
// ln, exp, sqrt or pow.
#include "Lattice.h"

#include "Calendar.h"
#include "EngineInternal.h"
#include "Residual.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

namespace kelvaro {

using engine_detail::Calendar;
using engine_detail::LeastVolatility;
using engine_detail::MostVolatility;

namespace {

using ld = long double;

void RequirePositiveFinite(double x, RefusalCode cause) {
    if (!(x > 0 && std::isfinite(x))) throw EngineError(cause);
}

// Everything a build computes, held aside until the build has succeeded.
struct Build {
    Calendar cal;
    double growth = 0, variance = 0, priceMin = 0, priceMax = 0;
    double ratio = 0, pUp = 0, pMid = 0, pDown = 0, residual = 0;
    int32_t nodeCount = 0;
    std::vector<int32_t> daySteps;
    std::vector<double> dayDates, prices, values, scratch;
    std::vector<std::vector<double>> dayValues;
    // The last build's day rows have this build's shape and are taken over
    // at the commit instead of allocating a second grid beside them.
    bool reuseRows = false;
    // A value-only build keeps no day rows.
    bool withRows = true;
    bool limitAsFullGrid = false; // refuse what a build with rows would refuse
};

void ComputeParameters(const CGrid& grid, Build& b) {
    const CWarrant& w = grid.Warrant;
    const Calendar& cal = b.cal;
    if (cal.TotalSteps < 0) throw EngineError(RefusalCode::ValuationAfterClose);
    if (cal.TotalSteps == 0) throw EngineError(RefusalCode::NoTimeSteps);
    const ld stepsPerYear = cal.StepsPerYear;

    // First-order growth, not (1 + Rate)^(1 / StepsPerYear).
    b.growth = static_cast<double>(
        1 + std::log(static_cast<double>(1 + static_cast<ld>(grid.Rate))) / stepsPerYear);
    b.variance = static_cast<double>(static_cast<ld>(w.Volatility) * w.Volatility / stepsPerYear);
    const double years = static_cast<double>(cal.TotalSteps / stepsPerYear);
    if (!(b.variance > 0)) throw EngineError(RefusalCode::VolatilityUnderflow);
    const double most = MostVolatility(years, static_cast<double>(stepsPerYear));
    if (!std::isfinite(b.variance) || w.Volatility > most)
        throw EngineError(RefusalCode::VolatilityTooHigh, most);
    if (w.Volatility < LeastVolatility(grid.Rate, years))
        throw EngineError(RefusalCode::VolatilityTooLowForRate, LeastVolatility(grid.Rate, years));

    const double rangeSigmas = 10.0;
    const double sd = std::sqrt(static_cast<double>(cal.TotalSteps * static_cast<ld>(b.variance)));
    b.priceMax = static_cast<double>(w.Strike * static_cast<ld>(std::exp(static_cast<double>(
                                                    rangeSigmas * static_cast<ld>(sd)))));
    b.priceMin = static_cast<double>(static_cast<ld>(w.Strike) * w.Strike / b.priceMax);
    if (w.ProductType > kNormal) {
        if (w.IsCall)
            b.priceMin = w.Strike;
        else
            b.priceMax = w.Strike;
    }
    RequirePositiveFinite(b.priceMax, RefusalCode::PriceRangeOverflow);
    RequirePositiveFinite(b.priceMin, RefusalCode::PriceRangeUnderflow);

    const double halfStep = std::sqrt(static_cast<double>(2 * static_cast<ld>(b.variance)));
    const double logRange =
        w.ProductType > kNormal
            ? std::log(static_cast<double>(static_cast<ld>(b.priceMax) / b.priceMin))
            : std::log(static_cast<double>(static_cast<ld>(b.priceMax) / w.Strike));
    const int32_t k = engine_detail::TruncToInt32(logRange / static_cast<ld>(halfStep) + 0.5,
                                                  RefusalCode::TooManyPriceSteps);
    const int64_t nodes = w.ProductType > kNormal ? int64_t{k} + 1 : 2 * int64_t{k} + 1;
    b.nodeCount = engine_detail::CheckedInt32(nodes, RefusalCode::TooManyPriceSteps);
    if (b.nodeCount < 2) throw EngineError(RefusalCode::OnePriceLevel);

    const double u = std::pow(static_cast<double>(static_cast<ld>(b.priceMax) / b.priceMin),
                              static_cast<double>(1.0L / (b.nodeCount - 1)));
    if (!(u > 1 && std::isfinite(u))) throw EngineError(RefusalCode::PriceStepTooSmall);
    const double d = static_cast<double>(1.0L / u);
    b.ratio = u;

    const ld g = b.growth, v = b.variance, lu = u, lq = d;
    b.pUp = static_cast<double>(((g - 1) * (g - lq) + v) / ((lu - 1) * (lu - lq)));
    b.pDown = static_cast<double>(((g - 1) * (g - lu) + v) / ((1 - lq) * (lu - lq)));
    b.pMid = static_cast<double>(1.0L - b.pUp - b.pDown);
    if (!std::isfinite(b.pUp) || !std::isfinite(b.pDown) || !std::isfinite(b.pMid))
        throw EngineError(RefusalCode::ProbabilitiesNotFinite);
}

bool SameShape(const CGrid& grid, const Build& b) {
    if (!grid.Allocated || grid.DayValues.size() != static_cast<size_t>(b.cal.DayCount))
        return false;
    for (const std::vector<double>& row : grid.DayValues)
        if (row.size() != static_cast<size_t>(b.nodeCount)) return false;
    return true;
}

void Allocate(const CGrid& grid, Build& b) {
    const CLatticeSize size{b.cal.TotalSteps, b.nodeCount, b.cal.DayCount};
    if (size.Bytes(b.withRows || b.limitAsFullGrid) > kMaxArrayBytes)
        throw EngineError(RefusalCode::ArraysTooLarge);
    try {
        b.values.assign(b.nodeCount, 0.0);
        b.scratch.assign(b.nodeCount, 0.0);
        b.prices.assign(b.nodeCount, 0.0);
        // Rows no roll-back has filled read as zeros. Refilling the last
        // build's rows spares the memory and, on a large grid, tens of
        // thousands of fresh page faults.
        b.reuseRows = b.withRows && SameShape(grid, b);
        if (b.withRows && !b.reuseRows)
            b.dayValues.assign(b.cal.DayCount, std::vector<double>(b.nodeCount, 0.0));
        b.daySteps.assign(b.cal.DayCount, 0);
        b.dayDates.assign(b.cal.DayCount, 0.0);
    } catch (const std::bad_alloc&) {
        throw EngineError(RefusalCode::ArraysOutOfMemory);
    } catch (const std::length_error&) {
        throw EngineError(RefusalCode::ArraysTooLarge);
    }
}

void FillNodes(const CGrid& grid, Build& b) {
    double p = b.priceMin;
    for (int32_t i = 0; i < b.nodeCount; ++i) {
        b.prices[i] = p;
        const double value = Payoff(grid, p);
        if (!std::isfinite(value)) throw EngineError(RefusalCode::PayoffOverflow);
        b.values[i] = value;
        p = static_cast<double>(static_cast<ld>(p) * b.ratio);
    }
}

void Commit(CGrid& grid, Build& b) noexcept {
    if (b.reuseRows) {
        b.dayValues.swap(grid.DayValues);
        for (std::vector<double>& row : b.dayValues) std::fill(row.begin(), row.end(), 0.0);
    }
    if (b.withRows) std::copy(b.values.begin(), b.values.end(), b.dayValues.back().begin());
    if (grid.Allocated) FreeArrays(grid);
    const Calendar& cal = b.cal;
    grid.Warrant.DividendDay = cal.DividendDay;
    grid.Warrant.MoreDividendDays.swap(b.cal.MoreDividendDays);
    grid.ClosedSteps = cal.ClosedSteps;
    grid.WeekendDaySteps = cal.WeekendDaySteps;
    grid.StepsPerYear = cal.StepsPerYear;
    grid.TotalSteps = cal.TotalSteps;
    grid.GrowthPerStep = b.growth;
    grid.RangeSigmas = 10.0;
    grid.PriceMax = b.priceMax;
    grid.PriceMin = b.priceMin;
    grid.PUp = b.pUp;
    grid.PDown = b.pDown;
    grid.PMid = b.pMid;
    if (grid.Warrant.ProductType > kNormal) grid.Warrant.ResidualValue = b.residual;
    grid.Values = std::move(b.values);
    grid.Scratch = std::move(b.scratch);
    grid.Prices = std::move(b.prices);
    grid.DayValues = std::move(b.dayValues);
    grid.DaySteps = std::move(b.daySteps);
    grid.DayDates = std::move(b.dayDates);
    grid.DayCount = cal.DayCount;
    grid.NodeCount = b.nodeCount;
    grid.Allocated = true;
}

bool BuildGrid(CGrid& grid, bool withRows, bool limitAsFullGrid = false) {
    Build b;
    b.withRows = withRows;
    b.limitAsFullGrid = limitAsFullGrid;
    const bool inRange = engine_detail::ComputeCalendar(grid, b.cal);
    grid.ExpiryWeekday = b.cal.ExpiryWeekday;
    if (!inRange) return false;

    ComputeParameters(grid, b);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Fuzzing explores inputs, not long valuations.
    const double passes = static_cast<double>(grid.StepsPerDay) * 180 / 500;
    if ((b.cal.TotalSteps + passes) * b.nodeCount > 2e7) throw EngineError(RefusalCode::WorkLimit);
#endif
    Allocate(grid, b);
    FillNodes(grid, b);
    engine_detail::FillDayTables(b.cal, grid.Warrant.Expiry, grid.ValuationTime, grid.StepsPerDay,
                                 grid.Closures, b.daySteps, b.dayDates);
    if (grid.Warrant.ProductType > kNormal) {
        b.residual =
            ResidualFor(grid.Warrant, grid.StepsPerDay, b.prices, b.values, b.pUp, b.pMid, b.pDown);
        if (!std::isfinite(b.residual)) throw EngineError(RefusalCode::ResidualOverflow);
    }
    Commit(grid, b);
    return true;
}

} // namespace

double Payoff(const CGrid& grid, double price) {
    const CWarrant& w = grid.Warrant;
    double x = static_cast<double>((static_cast<long double>(price) - w.Strike) * w.Multiplier);
    if (!w.IsCall) x = -x;
    // A zero payoff is +0, never -0, so that no listing shows "-0.000".
    return x > 0 ? x : 0.0;
}

bool BuildLattice(CGrid& grid) {
    return BuildGrid(grid, true);
}

bool engine_detail::BuildValuesOnly(CGrid& grid, bool limitAsFullGrid) {
    return BuildGrid(grid, false, limitAsFullGrid);
}

double CLatticeSize::Bytes(bool withRows) const {
    const ld n = NodeCount, days = DayCount;
    const ld rows = withRows ? days : 0;
    return static_cast<double>(
        n * sizeof(double) * (3 + rows) +
        days * (sizeof(int32_t) + sizeof(double) + sizeof(std::vector<double>)));
}

bool LatticeSize(const CGrid& grid, CLatticeSize& size) {
    Build b;
    if (!engine_detail::ComputeCalendar(grid, b.cal)) return false;
    ComputeParameters(grid, b);
    size = {b.cal.TotalSteps, b.nodeCount, b.cal.DayCount};
    return true;
}

bool LatticeSize(const CGrid& grid, int32_t& totalSteps, int32_t& nodeCount) {
    CLatticeSize size;
    if (!LatticeSize(grid, size)) return false;
    totalSteps = size.TotalSteps;
    nodeCount = size.NodeCount;
    return true;
}

bool LatticeRange(const CGrid& grid, double& priceMin, double& priceMax) {
    Build b;
    if (!engine_detail::ComputeCalendar(grid, b.cal)) return false;
    ComputeParameters(grid, b);
    priceMin = b.priceMin;
    priceMax = b.priceMax;
    return true;
}

} // namespace kelvaro

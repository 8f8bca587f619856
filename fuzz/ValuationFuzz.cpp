// A whole valuation from arbitrary inputs: it succeeds with finite values or
// throws EngineError, and the record's counts and arrays always agree.
#include "Calendar.h"
#include "FuzzInput.h"
#include "Lattice.h"
#include "RollBack.h"

#include <cmath>
#include <cstdlib>

using namespace kelvaro;

namespace {

constexpr double kMaxUpdates = 2e6;

void CheckInvariant(const CGrid& g) {
    const size_t days = static_cast<size_t>(g.DayCount), nodes = static_cast<size_t>(g.NodeCount);
    bool ok;
    if (g.Allocated) {
        ok = g.DayCount >= 1 && g.NodeCount >= 2 && g.DaySteps.size() == days &&
             g.DayDates.size() == days && g.DayValues.size() == days && g.Prices.size() == nodes &&
             g.Values.size() == nodes && g.Scratch.size() == nodes;
        for (const auto& row : g.DayValues) ok = ok && row.size() == nodes;
    } else {
        ok = g.DayCount == 0 && g.NodeCount == 0 && g.Prices.empty() && g.DayValues.empty();
    }
    if (!ok) std::abort();
}

void CheckFinite(const std::vector<double>& values) {
    for (double v : values)
        if (!std::isfinite(v)) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    static CGrid g; // kept across runs: builds replace each other
    CWarrant& w = g.Warrant;
    w.ProductType = in.Take<uint8_t>() % 4;
    w.IsCall = in.Take<uint8_t>() & 1;
    g.ValuationTime = in.Number(38700, 38800);
    w.Expiry = g.ValuationTime + in.Number(-2, 90);
    w.Strike = in.Number(-5, 100);
    w.Multiplier = in.Number(-1, 2);
    w.Volatility = in.Number(-0.1, 3);
    w.DividendDate = g.ValuationTime + in.Number(-5, 90);
    w.Dividend = in.Number(-2, 10);
    w.KnockOutMargin = in.Number(-2, 5);
    g.StepsPerDay = static_cast<int32_t>(in.Take<uint16_t>() % 400) - 2;
    g.OpenFraction = in.Number(-0.1, 1.2);
    g.WeekendWeight = in.Number(-0.5, 2);
    g.Rate = in.Number(-1.2, 1);

    // Bound the work before building: the calendar alone is cheap.
    int32_t steps = 0;
    try {
        if (TotalStepsOf(g, steps) &&
            static_cast<double>(steps) * 15 * std::sqrt(std::fabs(steps) + 1) > kMaxUpdates)
            return 0;
    } catch (const EngineError&) {
    }

    try {
        if (BuildLattice(g)) {
            CheckInvariant(g);
            RollBack(g);
            CheckFinite(g.Values);
            for (const auto& row : g.DayValues) CheckFinite(row);
        }
    } catch (const EngineError&) {
    }
    CheckInvariant(g);
    return 0;
}

// Backward induction, day by day, with the boundary rules of each product and
// the cash dividend. The node loop itself lives in Kernel.cpp.
#include "RollBack.h"

#include "EngineInternal.h"
#include "Kernel.h"
#include "KernelThreads.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>

namespace kelvaro {

using namespace engine_detail;

void StepBack(CGrid& grid) {
    const int32_t n = grid.NodeCount;
    if (!grid.Allocated || n < 2) throw EngineError(RefusalCode::NotBuilt);
    const StepPlan plan = MakeStepPlan(grid);
    // Scratch takes the old values by a swap instead of a copy; every node of
    // Values is written below.
    grid.Values.swap(grid.Scratch);
    if (!StepNodes(plan, grid.Scratch.data(), grid.Values.data(), 0, 0, n)) {
        // Values keeps the last finite step; the failed one is left in Scratch.
        grid.Values.swap(grid.Scratch);
        throw EngineError(RefusalCode::ValuesOverflow);
    }
}

void ApplyDividend(CGrid& grid) {
    ApplyDividend(grid, grid.Warrant.Dividend);
}

void ApplyDividend(CGrid& grid, double amount) {
    const int32_t n = grid.NodeCount;
    if (!grid.Allocated || n < 2) throw EngineError(RefusalCode::NotBuilt);
    // The new curve goes to Scratch and replaces Values only once it is
    // whole, so an overflow leaves the values before the dividend in place.
    const double* S = grid.Values.data();
    const double* P = grid.Prices.data();
    double* V = grid.Scratch.data();
    const double D = amount;

    // Node prices ascend, so the first node above the shifted price never
    // moves down: one moving index instead of a scan per node.
    int32_t k = 1;
    for (int32_t j = 0; j < n; ++j) {
        double v;
        if (P[0] + D > P[j]) {
            // Below the grid: continue the curve geometrically.
            if (S[0] > 0) {
                if (S[1] == 0) {
                    v = S[0];
                } else {
                    const double e = (P[j] - D - P[0]) / (P[1] - P[0]);
                    v = S[0] * std::pow(S[1] / S[0], e);
                }
            } else {
                v = 0;
            }
        } else {
            while (k < n && !(P[k] + D > P[j])) ++k;
            // At or above the highest node (a negative dividend): the line
            // through the two highest nodes.
            const int32_t m = k < n ? k : n - 1;
            v = S[m] - (S[m] - S[m - 1]) * (P[m] + D - P[j]) / (P[m] - P[m - 1]);
        }
        if (!std::isfinite(v)) throw EngineError(RefusalCode::ValuesOverflow);
        V[j] = v;
    }
    grid.Values.swap(grid.Scratch);
}

std::optional<double> engine_detail::DividendOnDay(const CWarrant& w, int32_t day) {
    // The form's dividend first, so that one dividend is applied as given and
    // dividends on one day as one of their sum.
    std::optional<double> sum;
    if (day == w.DividendDay) sum = w.Dividend;
    const std::size_t more = std::min(w.MoreDividends.size(), w.MoreDividendDays.size());
    for (std::size_t i = 0; i < more; ++i)
        if (w.MoreDividendDays[i] == day) {
            const double amount = w.MoreDividends[i].Amount;
            sum = sum ? *sum + amount : amount;
        }
    return sum;
}

void engine_detail::RollBackDayInto(CGrid& grid, int32_t day, bool keepRow) {
    if (!grid.Allocated || day < 0 || day >= grid.DayCount)
        throw EngineError(RefusalCode::BadTradingDay);
    const int32_t steps = grid.DaySteps[day];
    const std::optional<double> dividend = DividendOnDay(grid.Warrant, day);
    // A grid built without day rows keeps none.
    keepRow = keepRow && day >= 1 && grid.DayValues.size() == static_cast<size_t>(grid.DayCount);
    // The snapshot row is filled by the step threads unless the dividend
    // comes after the steps.
    double* row = keepRow && !dividend ? grid.DayValues[day - 1].data() : nullptr;
    bool stored = false;
    if (steps > 0) {
        if (grid.NodeCount < 2) throw EngineError(RefusalCode::NotBuilt);
        const int32_t done = RollBackSteps(grid, MakeStepPlan(grid), steps, row);
        stored = row != nullptr && done == steps;
        // A block that overflowed left Values at its start: redo its steps one
        // at a time so the overflowing step throws with the state it leaves.
        for (int32_t s = done; s < steps; ++s) StepBack(grid);
    }
    if (dividend) ApplyDividend(grid, *dividend);
    if (keepRow && !stored)
        std::copy(grid.Values.begin(), grid.Values.end(), grid.DayValues[day - 1].begin());
}

void RollBackDay(CGrid& grid, int32_t day) {
    RollBackDayInto(grid, day, true);
}

bool RollBack(CGrid& grid, const DayObserver& onDay) {
    const int32_t days = grid.DayCount;
    for (int32_t day = days - 1; day >= 0; --day) {
        try {
            RollBackDay(grid, day);
        } catch (const EngineError& e) {
            // Negative branch weights make the values swing apart step by
            // step: the cause is a volatility too small for the rate.
            if (e.Code() == RefusalCode::ValuesOverflow &&
                (grid.PUp < 0 || grid.PDown < 0 || grid.PMid < 0))
                throw EngineError(RefusalCode::NegativeBranchWeight);
            throw;
        }
        if (onDay && !onDay(days - day)) return false;
    }
    return true;
}

} // namespace kelvaro

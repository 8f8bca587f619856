// Backward induction, day by day, with the boundary rules of each product and
// the cash dividend. Plain doubles in the order written.
#include "EngineInternal.h"

#include <algorithm>
#include <cmath>

namespace {

const char* const kOverflow = "Warrantin arvot kasvoivat liian suuriksi (ylivuoto)";

} // namespace

void StepBack(CGrid& grid) {
    const CWarrant& w = grid.Warrant;
    const int32_t n = grid.NodeCount;
    if (!grid.Allocated || n < 2) throw EngineError("Hilaa ei ole rakennettu");
    std::copy(grid.Values.begin(), grid.Values.end(), grid.Scratch.begin());
    const double* S = grid.Scratch.data();
    const double* P = grid.Prices.data();
    double* V = grid.Values.data();
    const double pu = grid.PUp, pm = grid.PMid, pd = grid.PDown, g = grid.GrowthPerStep;

    const bool sg = w.ProductType == kTurboSG;
    const double callLevel = w.Strike + w.KnockOutMargin;
    const double putLevel = w.Strike - w.KnockOutMargin;

    // Stays 0 unless some raw value or quotient is infinite or NaN.
    double check = 0.0;
    auto store = [&](int32_t i, double raw) {
        const double floored = raw > 0 ? raw : 0.0;
        const double v = floored / g;
        check += raw * 0.0;
        check += v * 0.0;
        V[i] = v;
    };

    double low = 0, high = 0;
    switch (w.ProductType) {
    case kTurboSHB:
        low = w.IsCall ? pu * S[1] + 0.5 * pm * S[0] : (2 * pd + pm) * S[0] + (pu - pd) * S[1];
        high = w.IsCall ? (2 * pu + pm) * S[n - 1] + (pd - pu) * S[n - 2]
                        : pd * S[n - 2] + 0.5 * pm * S[n - 1];
        break;
    case kTurboSG:
        low = w.IsCall ? 0.0 : (2 * pd + pm) * S[0] + (pu - pd) * S[1];
        high = w.IsCall ? (2 * pu + pm) * S[n - 1] + (pd - pu) * S[n - 2] : 0.0;
        break;
    default:
        low = (2 * pd + pm) * S[0] + (pu - pd) * S[1];
        high = (2 * pu + pm) * S[n - 1] + (pd - pu) * S[n - 2];
        break;
    }
    for (int32_t i = 1; i < n - 1; ++i) {
        double raw;
        if (sg && (w.IsCall ? P[i] <= callLevel : P[i] >= putLevel))
            raw = w.ResidualValue;
        else
            raw = pu * S[i + 1] + pm * S[i] + pd * S[i - 1];
        store(i, raw);
    }
    store(0, low);
    store(n - 1, high);
    if (check != 0) throw EngineError(kOverflow);
}

void ApplyDividend(CGrid& grid) {
    const int32_t n = grid.NodeCount;
    if (!grid.Allocated || n < 2) throw EngineError("Hilaa ei ole rakennettu");
    std::copy(grid.Values.begin(), grid.Values.end(), grid.Scratch.begin());
    const double* S = grid.Scratch.data();
    const double* P = grid.Prices.data();
    double* V = grid.Values.data();
    const double D = grid.Warrant.Dividend;

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
        if (!std::isfinite(v)) throw EngineError(kOverflow);
        V[j] = v;
    }
}

void RollBackDay(CGrid& grid, int32_t day) {
    if (!grid.Allocated || day < 0 || day >= grid.DayCount)
        throw EngineError("Virheellinen kaupankäyntipäivä");
    for (int32_t s = 0; s < grid.DaySteps[day]; ++s) StepBack(grid);
    if (day == grid.Warrant.DividendDay) ApplyDividend(grid);
    if (day >= 1) std::copy(grid.Values.begin(), grid.Values.end(), grid.DayValues[day - 1].begin());
}

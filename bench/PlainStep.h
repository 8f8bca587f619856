// The straightforward backward step the kernel is measured against: copy
// Values to Scratch, then one node at a time.
#pragma once

#include "Grid.h"

#include <algorithm>

inline void PlainStepBack(CGrid& grid) {
    const CWarrant& w = grid.Warrant;
    const int32_t n = grid.NodeCount;
    std::copy(grid.Values.begin(), grid.Values.end(), grid.Scratch.begin());
    const double* S = grid.Scratch.data();
    const double* P = grid.Prices.data();
    double* V = grid.Values.data();
    const double pu = grid.PUp, pm = grid.PMid, pd = grid.PDown, g = grid.GrowthPerStep;
    const bool sg = w.ProductType == kTurboSG;
    const double callLevel = w.Strike + w.KnockOutMargin;
    const double putLevel = w.Strike - w.KnockOutMargin;
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
    if (check != 0) throw EngineError("overflow");
}

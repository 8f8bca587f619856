// The roll-back's backward step written plainly, node by node: the reference
// the kernel is compared with bit for bit (tests) and measured against (bench).
#pragma once

#include "Grid.h"
#include "Lattice.h"
#include "RollBack.h"

#include <utility>

namespace kelvaro {

// One backward step exactly as the rules read: copy, then one node at a time.
inline void ReferenceStep(CGrid& g) {
    const CWarrant& w = g.Warrant;
    const int32_t n = g.NodeCount;
    g.Scratch = g.Values;
    const double* S = g.Scratch.data();
    const double pu = g.PUp, pm = g.PMid, pd = g.PDown;
    const bool shb = w.ProductType == kTurboSHB, sg = w.ProductType == kTurboSG;
    double check = 0;
    for (int32_t i = 0; i < n; ++i) {
        double raw;
        if (i == 0)
            raw = shb && w.IsCall ? pu * S[1] + 0.5 * pm * S[0]
                  : sg && w.IsCall ? 0.0
                                   : (2 * pd + pm) * S[0] + (pu - pd) * S[1];
        else if (i == n - 1)
            raw = shb && !w.IsCall ? pd * S[n - 2] + 0.5 * pm * S[n - 1]
                  : sg && !w.IsCall ? 0.0
                                    : (2 * pu + pm) * S[n - 1] + (pd - pu) * S[n - 2];
        else if (sg && (w.IsCall ? g.Prices[i] <= w.Strike + w.KnockOutMargin
                                 : g.Prices[i] >= w.Strike - w.KnockOutMargin))
            raw = w.ResidualValue;
        else
            raw = pu * S[i + 1] + pm * S[i] + pd * S[i - 1];
        g.Values[i] = (raw > 0 ? raw : 0.0) / g.GrowthPerStep;
        check += raw * 0.0 + g.Values[i] * 0.0;
    }
    if (check != 0) { // the step is not kept: Values goes back to the last finite one
        std::swap(g.Values, g.Scratch);
        throw EngineError(RefusalCode::ValuesOverflow);
    }
}

} // namespace kelvaro

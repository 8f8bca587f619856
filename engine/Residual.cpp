// Residual value of a knocked-out Turbo (SG): a short undiscounted induction
// over 180 minutes of exchange hours on a payoff capped at the stop-loss level.
#include "Residual.h"

#include "EngineInternal.h"

#include <algorithm>
#include <new>

namespace kelvaro {

double ResidualFor(const CWarrant& terms, int32_t stepsPerDay, const std::vector<double>& prices,
                   const std::vector<double>& payoffs, double pUp, double pMid, double pDown) {
    using ld = long double;
    const auto n = static_cast<int32_t>(prices.size());
    if (n < 2 || payoffs.size() != prices.size()) throw EngineError(RefusalCode::NotBuilt);
    const double* P = prices.data();
    const double* E = payoffs.data();

    const double cap =
        static_cast<double>(static_cast<ld>(terms.KnockOutMargin) * terms.Multiplier);
    std::vector<double> W, U;
    try {
        W.resize(n);
        U.resize(n);
    } catch (const std::bad_alloc&) {
        throw EngineError(RefusalCode::ResidualOutOfMemory);
    }
    for (int32_t i = 0; i < n; ++i) W[i] = E[i] > cap ? cap : E[i];

    // The stop-loss level at extended precision, not KnockOutLevel's double:
    // the sum rounded to double could fall on the other side of a node price
    // and move the zone by a node, so this one keeps its own.
    int32_t b = 0;
    if (terms.IsCall) {
        const ld level = static_cast<ld>(terms.Strike) + terms.KnockOutMargin;
        for (int32_t i = 0; i < n; ++i)
            if (P[i] <= level) b = i;
    } else {
        const ld level = static_cast<ld>(terms.Strike) - terms.KnockOutMargin;
        int32_t first = 0;
        while (first < n && !(P[first] > level)) ++first;
        // Every node above the level: node 0 stands for the stop-loss node.
        b = first == n ? 0 : std::max(first - 1, 0);
    }

    // Whole steps in 180 of the 500 minutes of exchange hours.
    const int64_t passes = int64_t{stepsPerDay} * 180 / 500;
    const ld pu = pUp, pm = pMid, pd = pDown;
    auto capped = [](double a, double e) { return e < a ? e : a; };
    for (int64_t pass = 0; pass < passes; ++pass) {
        if (terms.IsCall) {
            U[0] = 0;
            for (int32_t j = 1; j < n - 1; ++j)
                U[j] = static_cast<double>(pu * capped(W[j + 1], E[j]) + pm * W[j] + pd * W[j - 1]);
            U[n - 1] = static_cast<double>((2 * pu + pm) * W[n - 1] + (pd - pu) * W[n - 2]);
        } else {
            U[0] = static_cast<double>((2 * pd + pm) * W[0] + (pu - pd) * W[1]);
            for (int32_t j = 1; j < n - 1; ++j)
                U[j] = static_cast<double>(pu * W[j + 1] + pm * W[j] + pd * capped(W[j - 1], E[j]));
            U[n - 1] = 0;
        }
        W.swap(U);
    }
    return W[b];
}

} // namespace kelvaro

// What a valuation will cost before it runs: its node updates and the
// seconds they take at the roll-back's speed measured on this machine.
#pragma once

#include "Grid.h"

#include <cstdint>

namespace kelvaro {

// The roll-back's speed, in node updates per second.
struct CKernelSpeed {
    double Split = 0;     // one roll-back on the calling thread, split where it may be
    double OneThread = 0; // one roll-back on one thread
    bool Pairs = false;   // the figures' revaluations run two at a time (see FiguresAt)
};

// Times short roll-backs on a lattice of a few thousand nodes with the
// kernel this processor dispatches, split and on one thread (some tens of
// milliseconds; the median of a few runs, so that a moment when the other
// processor is busy does not decide it).
CKernelSpeed MeasureKernelSpeed();

// The roll-backs of one job.
struct CWorkload {
    double Updates = 0;       // node updates of the valuation (time steps times nodes)
    int32_t Revaluations = 0; // the figures' value-only revaluations, each as large
};

// The job's work: the valuation of these inputs, and the figures'
// kFigureRevaluations revaluations when `withFigures`. False for a refused
// date range; throws EngineError for inputs BuildLattice refuses.
bool WorkloadOf(const CGrid& inputs, bool withFigures, CWorkload& work);

// Seconds the job takes at `speed`: the valuation at the split speed, the
// revaluations two at a time at the one-thread speed when they run in
// pairs, else one after the other at the split speed. 0 for a speed of 0.
double EstimatedSeconds(const CWorkload& work, const CKernelSpeed& speed);

// The speed a finished job showed, for the next estimate: the valuation's
// `valuationSeconds` give the split speed, the revaluations' `figuresSeconds`
// the one-thread speed (pairs) or the split speed. Runs shorter than a
// quarter of a second say more about start-up than speed and leave `speed`
// as it is.
void LearnSpeed(CKernelSpeed& speed, const CWorkload& work, double valuationSeconds,
                double figuresSeconds);

} // namespace kelvaro

// The roll-back's two-thread split, and the per-thread setting of a pool
// whose threads each value whole warrants.
#pragma once

#include "Grid.h"

#include <cstdint>

namespace kelvaro {

// Allows or forbids the two-thread split (for benchmarks); allowed by default.
void UseKernelThreads(bool allowed);
// Forbids or allows the split for roll-backs on the calling thread only, as
// in a pool whose threads each value whole warrants; allowed by default.
void UseKernelThreadsOnThisThread(bool allowed);
// Whether a roll-back on the calling thread may take a second thread: both
// switches above allow it and this process may run on two processors.
bool KernelThreadsUsableHere();
// The processors this process may run on (its affinity mask), at least 1.
unsigned UsableCpus();

namespace engine_detail {

struct StepPlan;

// `steps` backward steps on grid.Values, spread over two threads for large
// lattices (Values and Scratch may trade buffers; Scratch's content is left
// undefined). When all steps are done and `row` is not null, the result is
// also copied there. Returns the number of steps taken; fewer than `steps`
// means that one of the next few steps overflows and grid.Values holds the
// values before them (and `row` is untouched).
int32_t RollBackSteps(CGrid& grid, const StepPlan& plan, int32_t steps, double* row);

// Runs the next `blocks` blocks of a split roll-back on the calling thread
// alone, as after a slow helper (for tests).
void RunNextBlocksAlone(int32_t blocks);

} // namespace engine_detail

} // namespace kelvaro

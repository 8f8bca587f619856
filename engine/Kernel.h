// The roll-back's hot loop: one backward step over a range of nodes, and
// several steps over a block of nodes at a time. Every value is bitwise the
// one the node-by-node rules give, whatever the vector width, blocking,
// thread split or quotient method.
#pragma once

#include "Grid.h"

#include <cstdint>
#include <string_view>

// The x86-64 vector kernels and their run-time dispatch, unless the build
// asks for the portable one (plain C++, the same bits).
#if defined(__x86_64__) && !defined(KELVARO_PORTABLE_KERNEL)
#define KELVARO_X86_KERNEL 1
#endif

namespace kelvaro {

namespace engine_detail {

enum class EdgeRule : int32_t { Extrapolate, HalfMiddle, Zero };

// What one backward step does at every node, fixed for a whole roll-back.
struct StepPlan {
    double PUp = 0, PMid = 0, PDown = 0, Growth = 1;
    int32_t NodeCount = 0;
    EdgeRule Low = EdgeRule::Extrapolate;
    EdgeRule High = EdgeRule::Extrapolate;
    // Interior nodes [ZoneBegin, ZoneEnd) pay ResidualValue (Turbo (SG)).
    int32_t ZoneBegin = 0, ZoneEnd = 0;
    double ZoneRaw = 0;
    // Set when the zone is not one contiguous run (prices not ascending):
    // the zone test is then made node by node.
    bool ZoneScattered = false;
    const double* Prices = nullptr;
    bool ZoneIsCall = false;
    double ZoneLevel = 0;
    // PUp, PMid and PDown are +0 or positive and Growth is positive: from
    // sources of that sign every raw value is +0, positive or NaN, so the
    // floor leaves it as it is.
    bool NonNegative = false;
    // Growth is in [1, 2) and Reciprocal = 1 / Growth is close enough for
    // the FMA-corrected quotient to be the correctly rounded one.
    bool FmaQuotient = false;
    double Reciprocal = 1;
};

StepPlan MakeStepPlan(const CGrid& grid);

// One step for nodes [first, last) of the lattice: S and V hold the nodes
// from `offset` on (S[i - offset] is node i). S must cover node first - 1 to
// node last (as far as they exist). `signClear` tells that no source has its
// sign bit set. Returns false if some raw value or quotient is infinite or
// NaN; the nodes are stored regardless (a NaN raw value may then be stored
// as NaN rather than floored to 0: the caller discards such a step).
bool StepNodes(const StepPlan& plan, const double* S, double* V, int32_t offset, int32_t first,
               int32_t last, bool signClear = false);

// Copies n values and tells whether none of them has its sign bit set.
bool CopySignClear(const double* from, int32_t n, double* to);

// `steps` steps on the nodes [offset, offset + count), time-blocked. `a`
// holds the starting values (`signClear` as for StepNodes) and `b` is work
// space, both of `count`. With a halo (offset > 0 or offset + count <
// NodeCount) each step shrinks the valid range by one node at each cut
// side. Returns the buffer holding the result, or nullptr if some step
// overflowed.
double* RunSteps(const StepPlan& plan, double* a, double* b, int32_t offset, int32_t count,
                 int32_t steps, bool signClear);

} // namespace engine_detail

// The kernel's settings, for tests and benchmarks.

// Which instruction set the interior loop runs on: "avx512", "avx2" or "sse2"
// on x86-64 (widest this processor has), else "scalar". "scalar" can also
// be chosen on x86-64.
const char* KernelIsa();
// Switches to the named set (for tests and benchmarks); false if this
// processor lacks it or the name is unknown.
bool UseKernelIsa(std::string_view name);
// Allows or forbids the FMA-corrected quotient (for tests and benchmarks);
// allowed by default where the processor has FMA.
void UseFmaQuotient(bool allowed);

} // namespace kelvaro

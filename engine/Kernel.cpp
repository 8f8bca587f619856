// The node loop and its blocking. Values are bitwise those of the plain
// node-by-node loop: each node gets ((PUp*S[i+1] + PMid*S[i]) + PDown*S[i-1]),
// floored at +0 and divided by the growth. Products and sums are never fused
// or reordered, so every vector lane rounds as the scalar code does. The
// quotient is the correctly rounded one either way: from the divider, or,
// where the divider would be the bottleneck, from an FMA-corrected product
// with the reciprocal under the conditions that make it exact. Without the
// x86-64 vector sets (other processors, or KELVARO_PORTABLE_KERNEL) every
// node takes the scalar path, which rounds the same way.
#include "Kernel.h"

#include "ClosedForms.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#ifdef KELVARO_X86_KERNEL
#include <immintrin.h>
#endif

namespace kelvaro {

namespace engine_detail {
namespace {

struct Coefficients {
    double Up, Mid, Down, Growth;
    double Reciprocal; // used only when Fma is set
    bool Fma;
};

#ifdef KELVARO_X86_KERNEL
// Below this a quotient's FMA remainder could lose bits to underflow; such
// lanes are divided.
constexpr double kFmaFloor = 0x1p-960;

#define KERNEL_INLINE __attribute__((always_inline)) static inline

// The few vector operations the node loop needs, per instruction set. max
// with +0 as its second operand is exactly `raw > 0 ? raw : +0`: MAXPD
// returns the second operand for a NaN or a zero of either sign.
struct Sse2 {
    using V = __m128d;
    static constexpr int Width = 2;
    KERNEL_INLINE V Set(double x) { return _mm_set1_pd(x); }
    KERNEL_INLINE V Load(const double* p) { return _mm_loadu_pd(p); }
    KERNEL_INLINE void Save(double* p, V x) { _mm_storeu_pd(p, x); }
    KERNEL_INLINE V Add(V a, V b) { return _mm_add_pd(a, b); }
    KERNEL_INLINE V Sub(V a, V b) { return _mm_sub_pd(a, b); }
    KERNEL_INLINE V Mul(V a, V b) { return _mm_mul_pd(a, b); }
    KERNEL_INLINE V Div(V a, V b) { return _mm_div_pd(a, b); }
    KERNEL_INLINE V Max(V a, V b) { return _mm_max_pd(a, b); }
    KERNEL_INLINE V Min(V a, V b) { return _mm_min_pd(a, b); }
    // True if every lane is +-0 (false for a NaN lane).
    KERNEL_INLINE bool AllZero(V x) {
        return _mm_movemask_pd(_mm_cmpeq_pd(x, _mm_setzero_pd())) == 3;
    }
    KERNEL_INLINE bool AnyLess(V a, V b) { return _mm_movemask_pd(_mm_cmplt_pd(a, b)) != 0; }
    // No FMA in the baseline set: never called (Coefficients::Fma is clear).
    KERNEL_INLINE V FmaQuotient(V f, V g, V) { return _mm_div_pd(f, g); }
};

#define AVX2_INLINE __attribute__((always_inline, target("avx2,fma"))) static inline
struct Avx2 {
    using V = __m256d;
    static constexpr int Width = 4;
    AVX2_INLINE V Set(double x) { return _mm256_set1_pd(x); }
    AVX2_INLINE V Load(const double* p) { return _mm256_loadu_pd(p); }
    AVX2_INLINE void Save(double* p, V x) { _mm256_storeu_pd(p, x); }
    AVX2_INLINE V Add(V a, V b) { return _mm256_add_pd(a, b); }
    AVX2_INLINE V Sub(V a, V b) { return _mm256_sub_pd(a, b); }
    AVX2_INLINE V Mul(V a, V b) { return _mm256_mul_pd(a, b); }
    AVX2_INLINE V Div(V a, V b) { return _mm256_div_pd(a, b); }
    AVX2_INLINE V Max(V a, V b) { return _mm256_max_pd(a, b); }
    AVX2_INLINE V Min(V a, V b) { return _mm256_min_pd(a, b); }
    AVX2_INLINE bool AllZero(V x) {
        return _mm256_movemask_pd(_mm256_cmp_pd(x, _mm256_setzero_pd(), _CMP_EQ_OQ)) == 15;
    }
    AVX2_INLINE bool AnyLess(V a, V b) {
        return _mm256_movemask_pd(_mm256_cmp_pd(a, b, _CMP_LT_OQ)) != 0;
    }
    // f / g correctly rounded from y = 1 / g: q0 = f*y is faithful, the
    // remainder f - q0*g is exact in an FMA, and q0 + r*y rounds to f / g
    // (Markstein). Valid for g in [1, 2) with |g*y - 1| <= 2^-54, f zero or
    // in [kFmaFloor, DBL_MAX].
    AVX2_INLINE V FmaQuotient(V f, V g, V y) {
        const V q0 = _mm256_mul_pd(f, y);
        return _mm256_fmadd_pd(_mm256_fnmadd_pd(q0, g, f), y, q0);
    }
};

// GCC 12's _mm512_max_pd reads an undefined merge source it never uses.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#define AVX512_INLINE __attribute__((always_inline, target("avx512f"))) static inline
struct Avx512 {
    using V = __m512d;
    static constexpr int Width = 8;
    AVX512_INLINE V Set(double x) { return _mm512_set1_pd(x); }
    AVX512_INLINE V Load(const double* p) { return _mm512_loadu_pd(p); }
    AVX512_INLINE void Save(double* p, V x) { _mm512_storeu_pd(p, x); }
    AVX512_INLINE V Add(V a, V b) { return _mm512_add_pd(a, b); }
    AVX512_INLINE V Sub(V a, V b) { return _mm512_sub_pd(a, b); }
    AVX512_INLINE V Mul(V a, V b) { return _mm512_mul_pd(a, b); }
    AVX512_INLINE V Div(V a, V b) { return _mm512_div_pd(a, b); }
    AVX512_INLINE V Max(V a, V b) { return _mm512_max_pd(a, b); }
    AVX512_INLINE V Min(V a, V b) { return _mm512_min_pd(a, b); }
    AVX512_INLINE bool AllZero(V x) {
        return _mm512_cmp_pd_mask(x, _mm512_setzero_pd(), _CMP_EQ_OQ) == 0xFF;
    }
    AVX512_INLINE bool AnyLess(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ) != 0; }
    AVX512_INLINE V FmaQuotient(V f, V g, V y) {
        const V q0 = _mm512_mul_pd(f, y);
        return _mm512_fmadd_pd(_mm512_fnmadd_pd(q0, g, f), y, q0);
    }
};
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif // KELVARO_X86_KERNEL

// One floored, discounted value; `ok` turns false for an infinite or NaN
// raw value or quotient.
inline double Store(double raw, double g, bool& ok) {
    const double floored = raw > 0 ? raw : 0.0;
    const double q = floored / g;
    if (raw - raw != 0 || q - q != 0) ok = false;
    return q;
}

// Interior nodes [from, to) one at a time, as the vector loops do them.
inline void ScalarNodes(const Coefficients& c, const double* s, double* v, ptrdiff_t from,
                        ptrdiff_t to, bool& ok) {
    for (ptrdiff_t i = from; i < to; ++i)
        v[i] = Store(c.Up * s[i + 1] + c.Mid * s[i] + c.Down * s[i - 1], c.Growth, ok);
}

// Every node on its own: the only kernel without the x86-64 vector sets.
bool InteriorScalar(const Coefficients& c, const double* s, double* v, ptrdiff_t count) {
    bool ok = true;
    ScalarNodes(c, s, v, 0, count, ok);
    return ok;
}

#ifdef KELVARO_X86_KERNEL
// Nodes to take one at a time before v's first store aligned to `bytes`.
inline ptrdiff_t LeadIn(const double* v, ptrdiff_t count, size_t bytes) {
    const size_t misalign = reinterpret_cast<uintptr_t>(v) & (bytes - 1);
    const ptrdiff_t lead =
        misalign == 0 ? 0 : static_cast<ptrdiff_t>((bytes - misalign) / sizeof(double));
    return std::min(lead, count);
}

// Interior nodes: s[i] is the source of the node written to v[i]; s[-1] and
// s[count] are its outer neighbours. Returns true if every raw value and
// quotient is finite; false if some is not, or if their running sum
// overflowed (a much cheaper test than one per node; the caller decides).
// Macros rather than templates: each copy must be compiled for its own
// instruction set.
#define KERNEL_RAW(Isa, at)                                                                        \
    Isa::Add(Isa::Add(Isa::Mul(pu, Isa::Load(s + (at) + 1)), Isa::Mul(pm, Isa::Load(s + (at)))),   \
             Isa::Mul(pd, Isa::Load(s + (at)-1)))

#define KERNEL_INTERIOR(Isa)                                                                       \
    using V = Isa::V;                                                                              \
    const V pu = Isa::Set(c.Up), pm = Isa::Set(c.Mid), pd = Isa::Set(c.Down);                      \
    const V g = Isa::Set(c.Growth), zero = Isa::Set(0.0);                                          \
    V check = zero;                                                                                \
    bool ok = true;                                                                                \
    ptrdiff_t i = LeadIn(v, count, sizeof(V));                                                     \
    ScalarNodes(c, s, v, 0, i, ok);                                                                \
    for (; i + Isa::Width <= count; i += Isa::Width) {                                             \
        const V raw = KERNEL_RAW(Isa, i);                                                          \
        const V q = Isa::Div(Isa::Max(raw, zero), g);                                              \
        Isa::Save(v + i, q);                                                                       \
        check = Isa::Add(check, Isa::Add(raw, q));                                                 \
    }                                                                                              \
    ok = ok && Isa::AllZero(Isa::Sub(check, check)); /* x - x is 0 only for finite x */            \
    ScalarNodes(c, s, v, i, count, ok);                                                            \
    return ok;

// Sources and probabilities without a sign bit: the floor is the identity
// (a NaN raw value passes through and fails the check), and checking the
// quotients alone also catches an infinite or NaN raw value. The divider is
// the bottleneck, so with FMA every other vector takes the FMA-corrected
// quotient instead (three more operations for the multipliers, which the
// products already keep busy: half and half measured best). One test
// covers both such vectors (their minimum; a NaN lane makes a NaN quotient
// either way); below kFmaFloor they divide, except that an all-zero vector
// is its own quotient (0 / g keeps the zero and its sign): the nodes the
// payoff has not reached yet cost no division.
#define KERNEL_INTERIOR_NONNEGATIVE(Isa)                                                           \
    using V = Isa::V;                                                                              \
    constexpr ptrdiff_t W = Isa::Width;                                                            \
    const V pu = Isa::Set(c.Up), pm = Isa::Set(c.Mid), pd = Isa::Set(c.Down);                      \
    const V g = Isa::Set(c.Growth), zero = Isa::Set(0.0);                                          \
    V check0 = zero, check1 = zero, check2 = zero;                                                 \
    bool ok = true;                                                                                \
    ptrdiff_t i = LeadIn(v, count, sizeof(V));                                                     \
    ScalarNodes(c, s, v, 0, i, ok);                                                                \
    if (c.Fma) {                                                                                   \
        const V y = Isa::Set(c.Reciprocal), floor = Isa::Set(kFmaFloor);                           \
        for (; i + 4 * W <= count; i += 4 * W) {                                                   \
            const V raw0 = KERNEL_RAW(Isa, i);                                                     \
            const V raw1 = KERNEL_RAW(Isa, i + W);                                                 \
            const V raw2 = KERNEL_RAW(Isa, i + 2 * W);                                             \
            const V raw3 = KERNEL_RAW(Isa, i + 3 * W);                                             \
            const V q0 = Isa::Div(raw0, g);                                                        \
            const V q2 = Isa::Div(raw2, g);                                                        \
            V q1, q3;                                                                              \
            if (!Isa::AnyLess(Isa::Min(raw1, raw3), floor)) {                                      \
                q1 = Isa::FmaQuotient(raw1, g, y);                                                 \
                q3 = Isa::FmaQuotient(raw3, g, y);                                                 \
            } else {                                                                               \
                q1 = Isa::AllZero(raw1) ? raw1 : Isa::Div(raw1, g);                                \
                q3 = Isa::AllZero(raw3) ? raw3 : Isa::Div(raw3, g);                                \
            }                                                                                      \
            Isa::Save(v + i, q0);                                                                  \
            Isa::Save(v + i + W, q1);                                                              \
            Isa::Save(v + i + 2 * W, q2);                                                          \
            Isa::Save(v + i + 3 * W, q3);                                                          \
            check0 = Isa::Add(check0, Isa::Add(q0, q2));                                           \
            check1 = Isa::Add(check1, q1);                                                         \
            check2 = Isa::Add(check2, q3);                                                         \
        }                                                                                          \
    }                                                                                              \
    for (; i + W <= count; i += W) {                                                               \
        const V q = Isa::Div(KERNEL_RAW(Isa, i), g);                                               \
        Isa::Save(v + i, q);                                                                       \
        check0 = Isa::Add(check0, q);                                                              \
    }                                                                                              \
    const V check = Isa::Add(Isa::Add(check0, check1), check2);                                    \
    ok = ok && Isa::AllZero(Isa::Sub(check, check));                                               \
    ScalarNodes(c, s, v, i, count, ok);                                                            \
    return ok;

bool InteriorSse2(const Coefficients& c, const double* s, double* v, ptrdiff_t count) {
    KERNEL_INTERIOR(Sse2)
}

bool InteriorSse2NonNegative(const Coefficients& c, const double* s, double* v, ptrdiff_t count) {
    KERNEL_INTERIOR_NONNEGATIVE(Sse2)
}

__attribute__((target("avx2,fma"))) bool InteriorAvx2(const Coefficients& c, const double* s,
                                                      double* v, ptrdiff_t count) {
    KERNEL_INTERIOR(Avx2)
}

__attribute__((target("avx2,fma"))) bool
InteriorAvx2NonNegative(const Coefficients& c, const double* s, double* v, ptrdiff_t count) {
    KERNEL_INTERIOR_NONNEGATIVE(Avx2)
}

__attribute__((target("avx512f"))) bool InteriorAvx512(const Coefficients& c, const double* s,
                                                       double* v, ptrdiff_t count) {
    KERNEL_INTERIOR(Avx512)
}

__attribute__((target("avx512f"))) bool
InteriorAvx512NonNegative(const Coefficients& c, const double* s, double* v, ptrdiff_t count) {
    KERNEL_INTERIOR_NONNEGATIVE(Avx512)
}
#endif // KELVARO_X86_KERNEL

using InteriorFn = bool (*)(const Coefficients&, const double*, double*, ptrdiff_t);

struct Isa {
    const char* Name;
    InteriorFn Fn;
    InteriorFn NonNegativeFn;
    bool Supported;
    bool HasFma;
};

// Widest first; the last one is always supported.
std::span<const Isa> Isas() {
#ifdef KELVARO_X86_KERNEL
    __builtin_cpu_init();
    // Every AVX2 kernel is compiled with FMA; the few AVX2 processors
    // without it take the baseline.
    const bool fma = __builtin_cpu_supports("fma") != 0;
    static const Isa isas[] = {
        {"avx512", InteriorAvx512, InteriorAvx512NonNegative,
         __builtin_cpu_supports("avx512f") != 0, true},
        {"avx2", InteriorAvx2, InteriorAvx2NonNegative, __builtin_cpu_supports("avx2") != 0 && fma,
         true},
        {"sse2", InteriorSse2, InteriorSse2NonNegative, true, false},
        // Never picked here by itself: for tests and benchmarks.
        {"scalar", InteriorScalar, InteriorScalar, true, false},
    };
#else
    static const Isa isas[] = {{"scalar", InteriorScalar, InteriorScalar, true, false}};
#endif
    return isas;
}

// The widest supported set, picked once; UseKernelIsa may narrow it.
std::atomic<const Isa*> chosen{nullptr};
std::atomic<bool> fmaAllowed{true};

const Isa& ChosenIsa() {
    const Isa* isa = chosen.load(std::memory_order_relaxed);
    if (!isa) {
        const std::span<const Isa> isas = Isas();
        isa = &*std::find_if(isas.begin(), isas.end(), [](const Isa& i) { return i.Supported; });
        chosen.store(isa, std::memory_order_relaxed);
    }
    return *isa;
}

// Nodes of one time-blocked pass: wide enough to amortise the per-range
// work, narrow enough that both buffers' share (32 KiB) stays in L1.
constexpr int32_t kBlockWidth = 2048;

} // namespace

StepPlan MakeStepPlan(const CGrid& grid) {
    const CWarrant& w = grid.Warrant;
    StepPlan p;
    p.PUp = grid.PUp;
    p.PMid = grid.PMid;
    p.PDown = grid.PDown;
    p.Growth = grid.GrowthPerStep;
    p.NodeCount = grid.NodeCount;
    switch (w.ProductType) {
    case kTurboSHB:
        p.Low = w.IsCall ? EdgeRule::HalfMiddle : EdgeRule::Extrapolate;
        p.High = w.IsCall ? EdgeRule::Extrapolate : EdgeRule::HalfMiddle;
        break;
    case kTurboSG:
        p.Low = w.IsCall ? EdgeRule::Zero : EdgeRule::Extrapolate;
        p.High = w.IsCall ? EdgeRule::Extrapolate : EdgeRule::Zero;
        break;
    default:
        break;
    }
    auto signClear = [](double x) { return !std::signbit(x) && !std::isnan(x); };
    const double g = p.Growth;
    p.NonNegative =
        signClear(p.PUp) && signClear(p.PMid) && signClear(p.PDown) && g > 0 && std::isfinite(g);
    if (g >= 1 && g < 2) {
        // The error of the reciprocal, exact in an FMA.
        p.Reciprocal = 1.0 / g;
        p.FmaQuotient = std::fabs(std::fma(g, p.Reciprocal, -1.0)) <= 0x1p-54;
    }
    if (w.ProductType != kTurboSG) return p;

    const int32_t n = grid.NodeCount;
    const double* P = grid.Prices.data();
    const bool call = w.IsCall;
    const double level = *KnockOutLevel(w);
    auto inZone = [&](int32_t i) { return call ? P[i] <= level : P[i] >= level; };
    p.ZoneRaw = w.ResidualValue;
    p.Prices = P;
    p.ZoneIsCall = call;
    p.ZoneLevel = level;
    // Ascending prices make the zone a run at the low end (call) or the high
    // end (put) of the interior; anything else is tested node by node.
    int32_t i = 1;
    if (call) {
        while (i < n - 1 && inZone(i)) ++i;
        p.ZoneBegin = 1;
        p.ZoneEnd = i;
        while (i < n - 1 && !inZone(i)) ++i;
    } else {
        while (i < n - 1 && !inZone(i)) ++i;
        p.ZoneBegin = i;
        while (i < n - 1 && inZone(i)) ++i;
        p.ZoneEnd = i;
    }
    p.ZoneScattered = i < n - 1;
    return p;
}

bool StepNodes(const StepPlan& plan, const double* S, double* V, int32_t offset, int32_t first,
               int32_t last, bool signClear) {
    const int32_t n = plan.NodeCount;
    const double pu = plan.PUp, pm = plan.PMid, pd = plan.PDown, g = plan.Growth;
    const Isa& isa = ChosenIsa();
    const bool fma = plan.FmaQuotient && isa.HasFma && fmaAllowed.load(std::memory_order_relaxed);
    const Coefficients c{pu, pm, pd, g, plan.Reciprocal, fma};
    const InteriorFn interior = signClear && plan.NonNegative ? isa.NonNegativeFn : isa.Fn;
    bool ok = true;
    auto src = [&](int32_t node) { return S[node - offset]; };

    int32_t begin = first;
    int32_t end = std::min(last, n - 1);
    if (first == 0 && last > 0) {
        double raw = 0.0;
        switch (plan.Low) {
        case EdgeRule::Extrapolate:
            raw = (2 * pd + pm) * src(0) + (pu - pd) * src(1);
            break;
        case EdgeRule::HalfMiddle:
            raw = pu * src(1) + 0.5 * pm * src(0);
            break;
        case EdgeRule::Zero:
            break;
        }
        V[0 - offset] = Store(raw, g, ok);
        begin = 1;
    }
    if (last == n && first < n) {
        double raw = 0.0;
        switch (plan.High) {
        case EdgeRule::Extrapolate:
            raw = (2 * pu + pm) * src(n - 1) + (pd - pu) * src(n - 2);
            break;
        case EdgeRule::HalfMiddle:
            raw = pd * src(n - 2) + 0.5 * pm * src(n - 1);
            break;
        case EdgeRule::Zero:
            break;
        }
        V[n - 1 - offset] = Store(raw, g, ok);
    }
    if (begin >= end) return ok;

    auto runInterior = [&](int32_t from, int32_t to) {
        if (from >= to || interior(c, S + (from - offset), V + (from - offset), to - from)) return;
        // The vector test sums the values, which can also overflow when all
        // of them are finite: decide node by node.
        for (int32_t i = from; i < to; ++i) {
            const double raw = pu * src(i + 1) + pm * src(i) + pd * src(i - 1);
            const double q = V[i - offset];
            if (raw - raw != 0 || q - q != 0) ok = false;
        }
    };
    if (plan.ZoneScattered) {
        for (int32_t i = begin; i < end; ++i) {
            const double Pi = plan.Prices[i];
            const bool zone = plan.ZoneIsCall ? Pi <= plan.ZoneLevel : Pi >= plan.ZoneLevel;
            if (zone)
                V[i - offset] = Store(plan.ZoneRaw, g, ok);
            else
                runInterior(i, i + 1);
        }
        return ok;
    }
    const int32_t z0 = std::clamp(plan.ZoneBegin, begin, end);
    const int32_t z1 = std::clamp(plan.ZoneEnd, z0, end);
    runInterior(begin, z0);
    if (z0 < z1) {
        const double q = Store(plan.ZoneRaw, g, ok);
        std::fill(V + (z0 - offset), V + (z1 - offset), q);
    }
    runInterior(z1, end);
    return ok;
}

bool CopySignClear(const double* from, int32_t n, double* to) {
    uint64_t any = 0;
    for (int32_t i = 0; i < n; ++i) {
        uint64_t bits;
        std::memcpy(&bits, from + i, sizeof bits);
        any |= bits;
        to[i] = from[i];
    }
    return (any >> 63) == 0;
}

double* RunSteps(const StepPlan& plan, double* a, double* b, int32_t offset, int32_t count,
                 int32_t steps, bool signClear) {
    if (steps <= 0) return a;
    const bool cutLow = offset > 0;
    const bool cutHigh = offset + count < plan.NodeCount;
    bool ok = true;
    // Skewed blocks: block s computes, at step t, the local nodes
    // [s - t, s + W - t). Each step's nodes lean one further to the left, so
    // the neighbours a step reads are already done (by this block or the one
    // before), and the two-buffer ping-pong never overwrites a value that a
    // later block still needs.
    for (int32_t s = 0; s < count + steps; s += kBlockWidth) {
        for (int32_t t = 1; t <= steps; ++t) {
            const int32_t lo = std::max(cutLow ? t : 0, s - t);
            const int32_t hi = std::min(cutHigh ? count - t : count, s + kBlockWidth - t);
            if (lo >= hi) continue;
            const double* src = (t & 1) ? a : b;
            double* dst = (t & 1) ? b : a;
            // Every step's results are floored and divided by a positive
            // growth: only the block's input can carry a sign bit.
            const bool clear = t > 1 || signClear;
            if (!StepNodes(plan, src, dst, offset, offset + lo, offset + hi, clear)) ok = false;
        }
    }
    if (!ok) return nullptr;
    return (steps & 1) ? b : a;
}

} // namespace engine_detail

using namespace engine_detail;

const char* KernelIsa() {
    return ChosenIsa().Name;
}

void UseFmaQuotient(bool allowed) {
    fmaAllowed.store(allowed, std::memory_order_relaxed);
}

bool UseKernelIsa(std::string_view name) {
    for (const Isa& isa : Isas()) {
        if (name != isa.Name) continue;
        if (!isa.Supported) return false;
        chosen.store(&isa, std::memory_order_relaxed);
        return true;
    }
    return false;
}

} // namespace kelvaro

// Roll-back steps on one or two threads. For a large lattice the nodes are
// cut in two halves; each thread steps its half plus a halo as wide as the
// block's step count (recomputing the halo's shrinking triangle, with the
// same operations, so the values stay bitwise those of one thread), and the
// halves meet once per block.
#include "KernelThreads.h"

#include "Kernel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#ifdef __linux__
#include <sched.h>
#endif
// Where a process can fork, the helper thread must know when it is in a child.
#if defined(__unix__) || defined(__APPLE__)
#define KELVARO_HAS_FORK 1
#include <pthread.h>
#endif

namespace kelvaro {

namespace engine_detail {
namespace {

// Steps per block: the halo each half recomputes, and the time-blocking depth.
constexpr int32_t kBlockSteps = 128;
// Below this a day's steps take about as long as the two threads need to meet.
constexpr int32_t kMinSplitNodes = 2048;
// Blocks run alone after a split block that was slower than one thread:
// from about 4 ms to about half a second of the largest lattice.
constexpr int32_t kMinBlocksAlone = 16;
constexpr int32_t kMaxBlocksAlone = 2048;

std::atomic<bool> splitAllowed{true};
thread_local bool splitAllowedHere = true;
std::atomic<bool> inForkedChild{false};

// Two work buffers, each starting on a 64-byte boundary: the node loop
// aligns its stores to the vector width, and with both buffers aligned alike
// its middle loads are aligned too.
struct Buffers {
    static constexpr size_t kAlign = 64 / sizeof(double);
    std::vector<double> StoreA, StoreB;
    // Grows only, so the roll-back allocates at most on the first day of the
    // largest lattice seen so far.
    void Fit(size_t n) {
        if (StoreA.size() < n + kAlign) {
            StoreA.resize(n + kAlign);
            StoreB.resize(n + kAlign);
        }
    }
    double* A() { return Aligned(StoreA.data()); }
    double* B() { return Aligned(StoreB.data()); }

private:
    static double* Aligned(double* p) {
        const auto bytes = reinterpret_cast<uintptr_t>(p);
        return p + ((-bytes / sizeof(double)) & (kAlign - 1));
    }
};

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    __asm__ __volatile__("yield");
#endif
}

// Returns once `flag` no longer holds `old`. The other thread is usually
// microseconds away (a block of the largest lattice takes about 0.1 ms a
// side, and waking a sleeping thread costs tens of microseconds), so this
// spins briefly, then keeps yielding the processor (the other thread may be
// waiting for this very one when both share a processor with a busy
// program), and sleeps in the kernel only after half a millisecond.
void AwaitChange(const std::atomic<uint32_t>& flag, uint32_t old) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    for (int i = 1;; ++i) {
        if (flag.load(std::memory_order_acquire) != old) return;
        if (i % 64 != 0) {
            CpuRelax();
            continue;
        }
        const auto waited = Clock::now() - start;
        if (waited > std::chrono::microseconds(500)) break;
        if (waited > std::chrono::microseconds(20)) std::this_thread::yield();
    }
    while (flag.load(std::memory_order_acquire) == old) flag.wait(old, std::memory_order_acquire);
}

struct Job {
    const StepPlan* Plan = nullptr;
    const double* In = nullptr; // the values before the block, read by both sides
    double* Out = nullptr;      // the values after it, each side writing its own nodes
    double* Copy = nullptr;     // a second destination for them, or null
    int32_t NodeCount = 0;
    int32_t Split = 0; // side 0 owns [0, Split), side 1 [Split, NodeCount)
    int32_t Steps = 0;
    Buffers* Work[2] = {nullptr, nullptr};
    bool Overflow[2] = {false, false};
    double Seconds[2] = {0, 0}; // each side's time, to balance the next split
};

// One side of one block. In is not written during the block, so neither
// side waits for the other until the block ends.
void RunSide(Job& job, int side) {
    const auto start = std::chrono::steady_clock::now();
    const int32_t n = job.NodeCount, m = job.Split, k = job.Steps;
    const int32_t lo = side == 0 ? 0 : m - k;
    const int32_t hi = side == 0 ? std::min(m + k, n) : n;
    const int32_t own0 = side == 0 ? 0 : m, own1 = side == 0 ? m : n;
    Buffers& buf = *job.Work[side];
    const bool clear = CopySignClear(job.In + lo, hi - lo, buf.A());
    // A copy on this thread's own stack: the caller's shares cache lines
    // with data the main thread writes meanwhile.
    const StepPlan plan = *job.Plan;
    const double* out = RunSteps(plan, buf.A(), buf.B(), lo, hi - lo, k, clear);
    if (!out) {
        job.Overflow[side] = true;
        return;
    }
    std::copy(out + (own0 - lo), out + (own1 - lo), job.Out + own0);
    if (job.Copy) std::copy(out + (own0 - lo), out + (own1 - lo), job.Copy + own0);
    job.Seconds[side] =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The second thread, started on first use and parked between days.
class Helper {
public:
    static Helper* Instance() {
        static const std::unique_ptr<Helper> helper = Create();
        // A forked child has no helper thread, only the parent's record of it.
        if (helper && inForkedChild.load(std::memory_order_relaxed)) return nullptr;
        return helper.get();
    }

    ~Helper() {
        Stop.store(true, std::memory_order_relaxed);
        Ticket.fetch_add(1, std::memory_order_release);
        Ticket.notify_one();
        Thread.join();
    }

    void Start(Job* job) {
        Current = job;
        Ticket.fetch_add(1, std::memory_order_release);
        Ticket.notify_one();
    }

    void Finish() {
        const uint32_t target = Ticket.load(std::memory_order_relaxed);
        for (uint32_t d; (d = Done.load(std::memory_order_acquire)) != target;)
            AwaitChange(Done, d);
    }

    std::mutex Busy; // held by the thread whose roll-back uses the helper
    Buffers MainWork, HelperWork;
    // The main side's share of the nodes, moved toward equal times after
    // every block: the two cores are seldom equally free. Any split gives
    // the same values.
    double MainShare = 0.5;
    // Blocks still to run on the main thread alone, and how many the next
    // spell alone lasts.
    int32_t BlocksAlone = 0;
    int32_t AloneSpan = kMinBlocksAlone;
    // When the helper last finished a block: after AwaitChange's half
    // millisecond it sleeps, and waking it takes what it takes.
    std::chrono::steady_clock::time_point LastBlockEnd{};

private:
    Helper() = default;

    static std::unique_ptr<Helper> Create() {
        if (UsableCpus() < 2) return nullptr;
#ifdef KELVARO_HAS_FORK
        // Told once here rather than asking the system for the process id on
        // every roll-back day.
        if (pthread_atfork(nullptr, nullptr, [] { inForkedChild.store(true); }) != 0)
            return nullptr;
#endif
        std::unique_ptr<Helper> h(new Helper);
        try {
            h->Thread = std::thread([p = h.get()] { p->Loop(); });
        } catch (const std::system_error&) {
            return nullptr;
        }
        return h;
    }

    void Loop() {
        uint32_t seen = 0;
        for (;;) {
            AwaitChange(Ticket, seen);
            seen = Ticket.load(std::memory_order_acquire);
            if (Stop.load(std::memory_order_relaxed)) return;
            RunSide(*Current, 1);
            Done.store(seen, std::memory_order_release);
            Done.notify_one();
        }
    }

    std::atomic<uint32_t> Ticket{0};
    std::atomic<uint32_t> Done{0};
    std::atomic<bool> Stop{false};
    Job* Current = nullptr;
    std::thread Thread;
};

int32_t RollBackOnOneThread(CGrid& grid, const StepPlan& plan, int32_t steps, double* row) {
    static thread_local Buffers work;
    const int32_t n = grid.NodeCount;
    work.Fit(static_cast<size_t>(n));
    double* values = grid.Values.data();
    int32_t done = 0;
    while (done < steps) {
        const int32_t k = std::min(steps - done, kBlockSteps);
        const bool clear = CopySignClear(values, n, work.A());
        const double* out = RunSteps(plan, work.A(), work.B(), 0, n, k, clear);
        if (!out) break;
        std::copy(out, out + n, values);
        done += k;
    }
    if (row && done == steps) std::copy(values, values + n, row);
    return done;
}

} // namespace

namespace {

// The next block of a split roll-back: up to kBlockSteps steps from Values
// into Scratch, split between the two sides as the last blocks' speeds
// suggest, or all on the calling thread while the helper is set aside
// (`alone`). The last block also fills the snapshot row.
Job NextBlock(CGrid& grid, const StepPlan& plan, Helper& helper, int32_t steps, int32_t done,
              double* row, bool& alone) {
    const int32_t n = grid.NodeCount;
    Job job;
    job.Plan = &plan;
    job.In = grid.Values.data();
    job.Out = grid.Scratch.data();
    job.Copy = nullptr;
    job.NodeCount = n;
    job.Steps = std::min(steps - done, kBlockSteps);
    alone = helper.BlocksAlone > 0;
    if (alone) {
        --helper.BlocksAlone;
        job.Split = n; // the main side takes every node
    } else {
        const double share = std::clamp(helper.MainShare, 0.25, 0.75);
        job.Split = std::clamp(static_cast<int32_t>(share * n), job.Steps, n - job.Steps);
    }
    if (done + job.Steps == steps) job.Copy = row;
    job.Work[0] = &helper.MainWork;
    job.Work[1] = &helper.HelperWork;
    return job;
}

// After a block on both sides: the split of equal times for the next one,
// or a spell alone when the helper's processor is busy.
void Rebalance(Helper& helper, const Job& job, double wall, bool woken) {
    const int32_t n = job.NodeCount;
    // Nodes per second on each side give the split of equal times.
    const double r0 = job.Split / std::max(job.Seconds[0], 1e-9);
    const double r1 = (n - job.Split) / std::max(job.Seconds[1], 1e-9);
    helper.MainShare = 0.5 * helper.MainShare + 0.5 * (r0 / (r0 + r1));
    // When the helper's processor is busy with another program, its half
    // takes longer than the whole would on this thread, or it starts
    // late by a time slice: go alone for a while, then try again. A
    // helper woken from sleep (the first block after a spell alone or
    // between valuations) starts late by the system's wake-up time, on
    // a virtual machine up to a millisecond: that alone is no sign, so
    // such a block is judged on the helper's own time only. Otherwise
    // every retry after a spell alone could fail on the wake-up and the
    // roll-back stay on one thread for good.
    const double aloneTime = n / r0;
    if (job.Seconds[1] > 0.9 * aloneTime || (!woken && wall > 1.5 * aloneTime + 200e-6)) {
        // Each failed retry doubles the time alone.
        helper.BlocksAlone = helper.AloneSpan;
        helper.AloneSpan = std::min(2 * helper.AloneSpan, kMaxBlocksAlone);
    } else {
        helper.AloneSpan = kMinBlocksAlone;
    }
}

} // namespace

int32_t RollBackSteps(CGrid& grid, const StepPlan& plan, int32_t steps, double* row) {
    if (steps <= 0) return 0;
    const int32_t n = grid.NodeCount;
    const bool twoThreads =
        n >= kMinSplitNodes && splitAllowedHere && splitAllowed.load(std::memory_order_relaxed);
    Helper* helper = twoThreads ? Helper::Instance() : nullptr;
    if (!helper) return RollBackOnOneThread(grid, plan, steps, row);
    // Another thread's roll-back has the helper: go it alone.
    std::unique_lock<std::mutex> lock(helper->Busy, std::try_to_lock);
    if (!lock.owns_lock()) return RollBackOnOneThread(grid, plan, steps, row);

    // Grown for any split, so a moving split never allocates.
    helper->MainWork.Fit(static_cast<size_t>(n + kBlockSteps));
    helper->HelperWork.Fit(static_cast<size_t>(n + kBlockSteps));
    int32_t done = 0;
    while (done < steps) {
        // Fork and join once per block: Values is read, Scratch written, and
        // the two swapped only when neither side overflowed.
        bool alone = false;
        Job job = NextBlock(grid, plan, *helper, steps, done, row, alone);
        const auto start = std::chrono::steady_clock::now();
        if (!alone) helper->Start(&job);
        RunSide(job, 0);
        if (!alone) helper->Finish();
        const auto end = std::chrono::steady_clock::now();
        const double wall = std::chrono::duration<double>(end - start).count();
        const bool woken = !alone && start - helper->LastBlockEnd > std::chrono::microseconds(500);
        if (!alone) helper->LastBlockEnd = end;
        if (job.Overflow[0] || job.Overflow[1]) break;
        grid.Values.swap(grid.Scratch);
        done += job.Steps;
        if (!alone) Rebalance(*helper, job, wall, woken);
    }
    return done;
}

void RunNextBlocksAlone(int32_t blocks) {
    if (Helper* helper = Helper::Instance()) {
        std::lock_guard<std::mutex> lock(helper->Busy);
        helper->BlocksAlone = blocks;
    }
}

} // namespace engine_detail

using namespace engine_detail;

void UseKernelThreads(bool allowed) {
    splitAllowed.store(allowed, std::memory_order_relaxed);
}

void UseKernelThreadsOnThisThread(bool allowed) {
    splitAllowedHere = allowed;
}

bool KernelThreadsUsableHere() {
    return splitAllowedHere && splitAllowed.load(std::memory_order_relaxed) && UsableCpus() >= 2;
}

// Two threads spinning on one CPU would only take turns.
unsigned UsableCpus() {
#ifdef __linux__
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
#endif
    return std::max(1u, std::thread::hardware_concurrency());
}

} // namespace kelvaro

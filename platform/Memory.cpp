#include "Memory.h"

// Before the tests below: __GLIBC__ comes from the C library's headers.
#include <cstdint>
#include <cstdlib>

#if defined(__GLIBC__) && defined(__linux__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

#if defined(__GLIBC__) && defined(__linux__)
// Room for two of the largest grids with their listing.
constexpr size_t kHeapRoom = size_t{256} << 20;
constexpr size_t kDefaultTopPad = 128 << 10; // glibc's own
constexpr uintptr_t kHugePage = uintptr_t{2} << 20;

// Grows the heap by kHeapRoom of address space (nothing is touched, so no
// memory is used yet) and asks for 2 MB pages there. A grid's rows are
// written for the first time by each build: with 4 KB pages that is one
// page fault per 4 KB, some 18 000 for the largest grid, which costs a
// fresh process a fifth of a second on a virtual machine.
void ReserveHeapWithLargePages() {
    mallopt(M_TOP_PAD, static_cast<int>(kHeapRoom));
    void* probe = std::malloc(1 << 20); // more than the heap has spare: it grows
    mallopt(M_TOP_PAD, static_cast<int>(kDefaultTopPad));
    if (!probe) return;
    const auto begin = reinterpret_cast<uintptr_t>(probe);
    const auto end = reinterpret_cast<uintptr_t>(sbrk(0));
    std::free(probe);
    // Only if the block came from the program break's heap (not, say, from
    // a sanitizer's allocator) and the heap did grow by the room asked for.
    if (begin >= end || end - begin < kHeapRoom) return;
    const uintptr_t from = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t to = end & ~(kHugePage - 1);
    if (from < to) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}
#endif

} // namespace

void KeepFreedMemoryForReuse() {
#if defined(__GLIBC__) && defined(__linux__)
    // Grids are thousands of rows of tens of kilobytes; below these limits
    // freed rows stay in the heap for the next build.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    ReserveHeapWithLargePages();
#endif
}

#include "Memory.h"

// Before the tests below: __GLIBC__ comes from the C library's headers.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#if defined(__GLIBC__) && defined(__linux__)
#include <malloc.h>
#include <sys/mman.h>
#endif
#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace kelvaro {

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

#ifdef __linux__
constexpr double kNoLimit = std::numeric_limits<double>::infinity();

// The first number in a file, or nullopt-like -1 when there is none
// ("max" in cgroup v2).
double NumberIn(const std::string& path) {
    std::ifstream file(path);
    double x = -1;
    if (!(file >> x)) return -1;
    return x;
}

// The value after "key " in a cgroup's memory.stat, 0 when absent.
double StatField(const std::string& dir, const std::string& key) {
    std::ifstream file(dir + "/memory.stat");
    std::string name;
    double x = 0;
    while (file >> name >> x)
        if (name == key) return x;
    return 0;
}

// What the memory cgroups from this process's own up to the mount's root
// leave: limit less usage, the page cache counted as free.
double CgroupRoom() {
    std::ifstream self("/proc/self/cgroup");
    double room = kNoLimit;
    for (std::string line; std::getline(self, line);) {
        // "0::/path" (v2) or "4:memory:/path" (v1, controllers comma-separated).
        const size_t a = line.find(':'), b = line.find(':', a + 1);
        if (a == std::string::npos || b == std::string::npos) continue;
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "," + string.
        std::string controllers = ",";
        controllers.append(line, a + 1, b - a - 1);
        controllers += ',';
        const bool v2 = line.substr(0, a) == "0" && controllers == ",,";
        if (!v2 && controllers.find(",memory,") == std::string::npos) continue;
        const std::string root = v2 ? "/sys/fs/cgroup" : "/sys/fs/cgroup/memory";
        for (std::string path = line.substr(b + 1);;) {
            const std::string dir = root + (path == "/" ? "" : path);
            const double limit = NumberIn(dir + (v2 ? "/memory.max" : "/memory.limit_in_bytes"));
            // v1 writes "no limit" as a number near 2^63.
            if (limit >= 0 && limit < 0x1p60) {
                const double used =
                    NumberIn(dir + (v2 ? "/memory.current" : "/memory.usage_in_bytes"));
                const double cache = StatField(dir, v2 ? "file" : "total_cache");
                room = std::min(room, std::max(0.0, limit - std::max(0.0, used - cache)));
            }
            if (path.empty() || path == "/") break;
            const size_t slash = path.rfind('/');
            if (slash == std::string::npos || slash == 0)
                path = "/";
            else
                path.resize(slash);
        }
    }
    return room;
}

// Pages this process maps (statm's first field), holds resident (second) and
// has as data and stack (sixth), in bytes.
struct Footprint {
    double Mapped = 0, Resident = 0, Data = 0;
};

Footprint OwnFootprint() {
    std::ifstream statm("/proc/self/statm");
    double size = 0, resident = 0, shared = 0, text = 0, lib = 0, data = 0;
    statm >> size >> resident >> shared >> text >> lib >> data;
    const double page = static_cast<double>(sysconf(_SC_PAGESIZE));
    return {size * page, resident * page, data * page};
}

double RlimitRoom(int resource, double used) {
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kNoLimit;
    return std::max(0.0, static_cast<double>(limit.rlim_cur) - used);
}
#endif

} // namespace

double UsableMemoryBytes() {
#ifdef __linux__
    const Footprint own = OwnFootprint();
    double heapFree = 0;
#ifdef __GLIBC__
    heapFree = static_cast<double>(mallinfo2().fordblks);
#endif
    const double pages = static_cast<double>(sysconf(_SC_PHYS_PAGES));
    const double physical =
        pages > 0 ? std::max(0.0, pages * static_cast<double>(sysconf(_SC_PAGESIZE)) - own.Resident)
                  : kNoLimit;
    return heapFree + std::min({RlimitRoom(RLIMIT_AS, own.Mapped),
                                RlimitRoom(RLIMIT_DATA, own.Data), CgroupRoom(), physical});
#else
    return std::numeric_limits<double>::infinity();
#endif
}

void KeepFreedMemoryForReuse() {
#if defined(__GLIBC__) && defined(__linux__)
    // Grids are thousands of rows of tens of kilobytes; below these limits
    // freed rows stay in the heap for the next build.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    ReserveHeapWithLargePages();
#endif
}

} // namespace kelvaro

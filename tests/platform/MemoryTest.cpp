#include "Memory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#include <malloc.h>

namespace {

// The largest grid's day rows: 1430 rows of 6325 values.
using Rows = std::vector<std::vector<double>>;
Rows LargestRows() { return Rows(1430, std::vector<double>(6325, 1.0)); }

// Whether some part of the heap has asked for 2 MB pages.
bool HeapHasLargePages() {
    std::ifstream maps("/proc/self/smaps");
    bool heap = false;
    for (std::string line; std::getline(maps, line);) {
        if (line.find('-') != std::string::npos && line.find(' ') > line.find('-'))
            heap = line.find("[heap]") != std::string::npos;
        if (heap && line.rfind("VmFlags:", 0) == 0 && line.find(" hg") != std::string::npos)
            return true;
    }
    return false;
}

} // namespace

// Each process runs one test (ctest runs them one by one), so the settings
// start from the C library's defaults.
TEST(Memory, FreedRowsStayInTheHeapForTheNextBuild) {
    KeepFreedMemoryForReuse();
    LargestRows();
    const size_t heap = mallinfo2().arena;
    EXPECT_GE(mallinfo2().fordblks, size_t{1430} * 6325 * sizeof(double)) << "freed, not returned";
    const Rows next = LargestRows();
    EXPECT_EQ(mallinfo2().arena, heap) << "the next grid takes the freed rows";
}

TEST(Memory, HeapAsksForLargePages) {
    if (!std::filesystem::exists("/sys/kernel/mm/transparent_hugepage"))
        GTEST_SKIP() << "no transparent huge pages in this kernel";
    EXPECT_FALSE(HeapHasLargePages());
    KeepFreedMemoryForReuse();
    EXPECT_TRUE(HeapHasLargePages());
}
#endif

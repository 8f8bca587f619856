#include "Memory.h"

#include <gtest/gtest.h>

#include <vector>

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#include <malloc.h>

namespace {

// The largest grid's day rows: 1430 rows of 6325 values.
using Rows = std::vector<std::vector<double>>;
Rows LargestRows() { return Rows(1430, std::vector<double>(6325, 1.0)); }

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

#endif

// The memory refusal's text for given sizes, and the usable memory under an
// address-space limit set in a child process (nothing large is allocated).
#include "Memory.h"
#include "MemoryCheck.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kelvaro;

namespace {

constexpr double kGiB = 1024.0 * 1024 * 1024;

TEST(MemoryCheck, RefusalNamesBothSizesOnlyWhenTheyDoNotFit) {
    const struct { double needed, available; char separator; const char* text; } cases[] = {
        {3.9 * kGiB, 1 * kGiB, ',',
         "Hilan taulukot tarvitsevat 3,90 Gt muistia, mutta käytettävissä on 1,00 Gt"},
        {0.5 * kGiB, 0.25 * kGiB, '.',
         "Hilan taulukot tarvitsevat 0.50 Gt muistia, mutta käytettävissä on 0.25 Gt"},
        {2 * kGiB, 2 * kGiB, ',', ""}, // exactly what is left fits
        {1 * kGiB, std::numeric_limits<double>::infinity(), ',', ""}, // no limit readable
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(MemoryRefusalText(c.needed, c.available, c.separator), c.text);
    }
}

// A child with 256 MB of address space beyond what it maps sees at most
// that much (and the heap's free blocks) as usable.
TEST(MemoryCheck, AddressSpaceLimitBoundsTheUsableMemory) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const double before = UsableMemoryBytes();
        long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
            std::fclose(statm);
        }
        const rlim_t room = rlim_t{256} << 20;
        const rlimit limit{pages * sysconf(_SC_PAGESIZE) + room, RLIM_INFINITY};
        if (pages == 0 || setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
        const double usable = UsableMemoryBytes();
        _exit(usable > 0 && usable <= before && usable < 320.0 * (1 << 20) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace

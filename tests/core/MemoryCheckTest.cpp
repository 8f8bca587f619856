// The memory refusal's text for given sizes. (The usable memory under an
// address-space limit: WindowTest::longValuationAsksFirst and CliMemory.)
#include "MemoryCheck.h"

#include <gtest/gtest.h>

#include <limits>

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

} // namespace

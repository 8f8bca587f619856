// The time-step verdict at its thresholds.
#include "Verdict.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using namespace kelvaro;

TEST(TimeStepVerdict, ThresholdsAndNumber) {
    const std::string tooLong =
        "Aika-askel liian pitkä suhteessa pörssiarvon askeleeseen. Muutostodennäköisyys askeleella = ";
    const std::string tooShort =
        "Aika-askel liian lyhyt suhteessa pörssiarvon askeleeseen Muutostodennäköisyys askeleella = ";
    const std::string suitable =
        "Aika-askel sopiva suhteessa pörssiarvon askeleeseen Muutostodennäköisyys askeleella = ";
    struct Case { double pMid; char separator; std::string expected; };
    const Case cases[] = {
        {0.1, ',', suitable + "0,9"},     {std::nextafter(0.1, 0.0), ',', tooLong + "0,9"},
        {0.995, ',', suitable + "0,005"}, {std::nextafter(0.995, 1.0), ',', tooShort + "0,005"},
        {1 - 0.4998, '.', suitable + "0.4998"},
        {std::numeric_limits<double>::quiet_NaN(), ',', tooLong + "NAN"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TimeStepVerdict(c.pMid, c.separator), c.expected) << "PMid " << c.pMid;
}

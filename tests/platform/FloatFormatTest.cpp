// Number to text: the general format and the listing line.
#include "FloatFormat.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

using namespace kelvaro;

namespace {

// The value's 18 significant digits by the C library, independent of the code
// under test.
std::string Digits18(double magnitude, int& exponent)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17e", magnitude);
    const char* const e = std::strchr(text, 'e');
    exponent = std::atoi(e + 1);
    return text[0] + std::string(static_cast<const char*>(text) + 2, e); // text[1]: the point
}

// Those digits rounded half away from zero to `precision`, and the exponent
// after rounding (999 -> 1000 is one place up).
std::pair<long double, int> RoundedReference(double magnitude, int precision)
{
    int exponent = 0;
    const std::uint64_t digits = std::stoull(Digits18(magnitude, exponent));
    std::uint64_t scale = 1;
    for (int i = precision; i < 18; ++i) scale *= 10;
    const std::string kept = std::to_string((digits + scale / 2) / scale);
    const std::string text = kept + 'e' + std::to_string(exponent - (precision - 1));
    long double rounded = 0;
    std::from_chars(text.data(), text.data() + text.size(), rounded);
    return {rounded, exponent + static_cast<int>(kept.size()) - precision};
}

} // namespace

TEST(FloatToStrF, WorkedNumbers)
{
    struct Row {
        double value;
        const char* expected;
        int precision = 4, digits = 3;
        char separator = ',';
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Row rows[] = {
        // the window's output boxes, the time-step check and the results file
        {15, "15"}, {2.5, "2,5"}, {48.7234, "48,72"}, {123.456, "123,5"}, {0.5, "0,5"},
        {1 - 0.6, "0,4"}, {1 - 0.25, "0,75"}, {1.0625, "1,063"}, {-1.0625, "-1,063"},
        {12345.6, "1,235E004"}, {-0.0000012345, "-1,235E-006"}, {0.0000012345, "1,235E-006"},
        {38828.7638888889, "38828,76389", 10, 10}, {38829.0, "38829", 10, 10, '.'},
        // the two tests apply to the rounded value
        {9999.4, "9999"}, {9999.5, "1E004"}, {0.00001, "0,00001"}, {0.0000099999, "0,00001"},
        {0.0000099994, "9,999E-006"},
        // taken to 18 digits first: 1.23449999999999995e-5 stays below the tie
        {0.000012345, "0,00001234"},
        // zero, subnormal, extremes, non-finite
        {0.0, "0"}, {-0.0, "0"}, {DBL_MAX, "1,798E308"}, {4.9406564584124654e-324, "4,941E-324"},
        {std::nan(""), "NAN"}, {inf, "INF"}, {-inf, "-INF"},
        // clamped arguments: digits 0..4, precision 1..18
        {1e10, "1E0010", 4, 9}, {12345.6, "1,235E4", 4, -1}, {1.5, "2", 0, 3},
        {0.1, "0,100000000000000006", 25, 3},
    };
    for (const Row& r : rows)
        EXPECT_EQ(FloatToStrF(r.value, TFloatFormat::ffGeneral, r.precision, r.digits, r.separator),
                  r.expected) << r.value << " p" << r.precision << " d" << r.digits;
}

TEST(FloatToStrF, RoundsLikeTheReferenceForRandomDoubles)
{
    std::mt19937_64 random(20060421);
    std::string out;
    for (int n = 0; n < 100000; ++n) {
        int precision = static_cast<int>(random() % 18) + 1;
        double value = std::bit_cast<double>(random()); // any bit pattern
        if (n % 4 == 1) { // dyadic, cut at its last digit: many exact ties
            value = std::ldexp(static_cast<double>(random() % 100000000),
                               -static_cast<int>(random() % 40));
            int exponent = 0;
            const auto last = Digits18(value, exponent).find_last_not_of('0');
            if (last != std::string::npos && last >= 1) precision = static_cast<int>(last);
        } else if (n % 4 == 2) { // typed decimals ending in 5: a hair off the tie
            precision = static_cast<int>(random() % 14) + 1;
            std::string typed(1, static_cast<char>('1' + random() % 9));
            while (typed.size() < static_cast<std::size_t>(precision))
                typed += static_cast<char>('0' + random() % 10);
            typed += "5e" + std::to_string(static_cast<int>(random() % 60) - 30);
            std::from_chars(typed.data(), typed.data() + typed.size(), value);
        } else if (n % 4 == 3) { // next to powers of ten
            value = std::nextafter(std::pow(10.0, static_cast<int>(random() % 40) - 20),
                                   random() % 2 ? 0.0 : DBL_MAX);
        }
        if (!std::isfinite(value) || value == 0) continue;
        out.clear();
        AppendGeneral(out, value, precision, 3, '.');
        const auto [rounded, exponent] = RoundedReference(std::fabs(value), precision);
        SCOPED_TRACE(testing::Message() << std::hexfloat << value << " p" << precision << " -> "
                                        << out);
        // Read back at extended precision: "2E308" is beyond a double.
        long double back = 0;
        std::from_chars(out.data(), out.data() + out.size(), back);
        ASSERT_EQ(std::fabs(back), rounded);
        ASSERT_EQ(std::signbit(back), std::signbit(value));
        ASSERT_EQ(out.find('E') == std::string::npos, exponent >= -5 && exponent < precision);
    }
}

TEST(ListingLine, WorkedLines)
{
    struct Row { int number; double price; double value; const char* expected; };
    const Row rows[] = {
        {1, 2.5, 0, "   1     2.500     0.000"},
        {12, 10000, 0.0625, "  12 10000.000     0.062"},  // fits exactly; tie to even
        {123, 100000, -0.5, " 123 100000.000    -0.500"}, // wider price pushes the value
        {6325, 1e25, 1e25,
         "6325 10000000000000000905969664.000 10000000000000000905969664.000"}, // over 59, whole
    };
    for (const Row& row : rows) {
        std::string line = "x";
        AppendListingLine(line, row.number, row.price, row.value);
        EXPECT_EQ(line, std::string("x") + row.expected);
    }
}

// Numbers of the newer windows: no E, decimals by magnitude, noise as 0
// (the cells and figures that showed 3,10737E-007 and 1,46372E-013).
TEST(ReadableNumber, WorkedNumbers)
{
    struct Row { double value; int significant; const char* expected; };
    const Row rows[] = {
        {3.10737e-7,          6, "0,00000031"},
        {-1.26785e-13,        6, "0"},
        {-1.26785e-6,         6, "-0,00000127"},
        {0.14155779751117264, 6, "0,141558"},
        {22470.4,             4, "22470"},
        {15,                  6, "15"},
        {-7.8512,             3, "-7,85"},
        {0,                   6, "0"},
        {9.9999996,           6, "10"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        EXPECT_EQ(ReadableNumber(row.value, row.significant, ','), row.expected);
    }
    EXPECT_EQ(ReadableNumber(0.5, 6, '.'), "0.5");
}

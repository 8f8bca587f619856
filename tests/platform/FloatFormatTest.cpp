// Number to text: the general format and the listing line.
#include "Conversions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

std::string General(double value, int precision = 4, int digits = 3, char separator = ',')
{
    return FloatToStrF(value, TFloatFormat::ffGeneral, precision, digits, separator);
}

// The value's 18 significant digits by the C library (correctly rounded, half
// to even), independent of the code under test.
struct Digits18 {
    std::string digits;
    int exponent;
};

Digits18 ByPrintf(double magnitude)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17e", magnitude);
    const char* const e = std::strchr(text, 'e');
    Digits18 d{std::string(1, text[0]), std::atoi(e + 1)};
    d.digits.append(static_cast<const char*>(text) + 2, e); // text[1] is the locale's point
    return d;
}

// Those digits rounded half away from zero to `precision`, and the exponent.
std::pair<long double, int> RoundedReference(double magnitude, int precision)
{
    Digits18 x = ByPrintf(magnitude);
    std::string kept = x.digits.substr(0, static_cast<std::size_t>(precision));
    if (precision < 18 && x.digits[static_cast<std::size_t>(precision)] >= '5') {
        int i = precision - 1;
        while (i >= 0 && kept[static_cast<std::size_t>(i)] == '9')
            kept[static_cast<std::size_t>(i--)] = '0';
        if (i < 0) {
            kept[0] = '1'; // 999 -> 100, one place up
            ++x.exponent;
        } else {
            ++kept[static_cast<std::size_t>(i)];
        }
    }
    std::string text = kept;
    text += 'e';
    text += std::to_string(x.exponent - (precision - 1));
    long double rounded = 0;
    std::from_chars(text.data(), text.data() + text.size(), rounded);
    return {rounded, x.exponent};
}

} // namespace

TEST(FloatToStrF, WorkedNumbers)
{
    struct Row { double value; int precision; int digits; char separator; const char* expected; };
    const double inf = std::numeric_limits<double>::infinity();
    const Row rows[] = {
        // the window's output boxes and the time-step check's number
        {15, 4, 3, ',', "15"}, {2.5, 4, 3, ',', "2,5"}, {48.7234, 4, 3, ',', "48,72"},
        {123.456, 4, 3, ',', "123,5"}, {0.5, 4, 3, ',', "0,5"}, {1 - 0.6, 4, 3, ',', "0,4"},
        {1 - 0.25, 4, 3, ',', "0,75"}, {1 - 0.4998, 4, 3, ',', "0,5002"},
        {12345.6, 4, 3, ',', "1,235E004"}, {0.0000012345, 4, 3, ',', "1,235E-006"},
        // the results file
        {38828.7638888889, 10, 10, '.', "38828.76389"},
        {38828.7638888889, 10, 10, ',', "38828,76389"},
        {38829.0, 10, 10, '.', "38829"}, {38828.5, 10, 10, '.', "38828.5"},
        {38831.76388888889, 10, 10, '.', "38831.76389"}, // header example, Monday at 18:20
        {57.5, 4, 3, '.', "57.5"}, {0.123456, 4, 3, '.', "0.1235"},
        {1234.56, 4, 3, '.', "1235"}, {2.00004, 4, 3, '.', "2"},
        // exact ties round away from zero
        {1.0625, 4, 3, ',', "1,063"}, {-1.0625, 4, 3, ',', "-1,063"}, {0.125, 2, 3, ',', "0,13"},
        {1234.5, 4, 3, ',', "1235"},
        // the two tests apply to the rounded value
        {9999.4, 4, 3, ',', "9999"}, {9999.5, 4, 3, ',', "1E004"}, {1e10, 4, 3, ',', "1E010"},
        {0.00001, 4, 3, ',', "0,00001"}, {0.0000099999, 4, 3, ',', "0,00001"},
        {0.0000099994, 4, 3, ',', "9,999E-006"}, {0.000012346, 4, 3, ',', "0,00001235"},
        // taken to 18 digits first: 1.2344999999999999965e-6 is 1.23450000000000000e-6
        {0.000012345, 4, 3, ',', "0,00001234"}, // 1.23449999999999995e-5 stays below
        {0.10000000000000000555, 17, 3, ',', "0,10000000000000001"},
        {-12345.6, 4, 3, ',', "-1,235E004"}, {-0.0000012345, 4, 3, ',', "-1,235E-006"},
        // zero, extremes, non-finite
        {0.0, 4, 3, ',', "0"}, {-0.0, 4, 3, ',', "0"}, {1e-300, 4, 3, ',', "1E-300"},
        {4.9406564584124654e-324, 4, 3, ',', "4,941E-324"}, {DBL_MAX, 4, 3, ',', "1,798E308"},
        {inf, 4, 3, ',', "INF"}, {-inf, 4, 3, ',', "-INF"}, {std::nan(""), 4, 3, ',', "NAN"},
        // clamped arguments: digits 0..4, precision 1..18
        {1e10, 4, 0, ',', "1E10"}, {1e10, 4, 9, ',', "1E0010"}, {12345.6, 4, -1, ',', "1,235E4"},
        {1.5, 0, 3, ',', "2"}, {0.1, 25, 3, ',', "0,100000000000000006"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.value << " p" << row.precision << " d"
                                        << row.digits);
        EXPECT_EQ(General(row.value, row.precision, row.digits, row.separator), row.expected);
    }
    EXPECT_THROW(FloatToStrF(1, TFloatFormat::ffFixed, 4, 3, ','), std::invalid_argument);
}

TEST(FloatToStrF, RoundsLikePrintfDigitsForRandomDoubles)
{
    constexpr std::uint64_t kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000,
                                        100000000, 1000000000, 10000000000, 100000000000,
                                        1000000000000, 10000000000000};
    std::mt19937_64 random(20060421);
    std::string out;
    for (int n = 0; n < 100000; ++n) {
        double value;
        int precision = static_cast<int>(random() % 18) + 1;
        switch (n % 4) {
        case 0: // any bit pattern
            value = std::bit_cast<double>(random());
            break;
        case 1: { // dyadic values, many of them exact ties at some precision
            value = std::ldexp(static_cast<double>(random() % 100000000),
                               -static_cast<int>(random() % 40));
            const Digits18 x = ByPrintf(value);
            const auto last = x.digits.find_last_not_of('0');
            if (last != std::string::npos && last >= 1)
                precision = static_cast<int>(last);
            break;
        }
        case 2: { // short decimals ending in 5, as typed: the binary value is a hair off the tie
            precision = static_cast<int>(random() % 14) + 1;
            const std::uint64_t first = kPow10[precision - 1];
            const std::uint64_t lead = first + random() % (9 * first);
            const std::string typed = std::to_string(lead * 10 + 5) + "e"
                + std::to_string(static_cast<int>(random() % 60) - 30);
            std::from_chars(typed.data(), typed.data() + typed.size(), value);
            break;
        }
        default: // next to powers of ten
            value = std::pow(10.0, static_cast<int>(random() % 40) - 20);
            value = std::nextafter(value, random() % 2 ? 0.0 : DBL_MAX);
        }
        if (!std::isfinite(value) || value == 0)
            continue;
        out.clear();
        AppendGeneral(out, value, precision, 3, ',');
        const auto [rounded, exponent] = RoundedReference(std::fabs(value), precision);
        SCOPED_TRACE(testing::Message() << std::hexfloat << value << " p" << precision << " -> "
                                        << out);
        // Read back at extended precision: "2E308" is beyond a double.
        std::string plain = out;
        std::replace(plain.begin(), plain.end(), ',', '.');
        long double back = 0;
        std::from_chars(plain.data(), plain.data() + plain.size(), back);
        ASSERT_EQ(std::fabs(back), rounded);
        ASSERT_EQ(std::signbit(back), std::signbit(value));
        ASSERT_EQ(out.find('E') == std::string::npos, exponent >= -5 && exponent < precision);
    }
}

TEST(ListingLine, WorkedLines)
{
    struct Row { int number; double price; double value; const char* expected; };
    const double inf = std::numeric_limits<double>::infinity();
    const Row rows[] = {
        {1, 2.5, 0, "   1     2.500     0.000"},
        {12, 10000, 0.0625, "  12 10000.000     0.062"},     // fits exactly; tie to even
        {123, 100000, -0.5, " 123 100000.000    -0.500"},    // wider price pushes the value
        {12345, -2.25, -0.0004, "12345    -2.250    -0.000"}, // wider number
        {-1, inf, -inf, "  -1       inf      -inf"},
        {6325, 1e25, 1e25,
         "6325 10000000000000000905969664.000 10000000000000000905969664.000"}, // over 59, whole
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        EXPECT_EQ(FormatListingLine(row.number, row.price, row.value), row.expected);
    }
}

// Text to number: the strict grammar, the regional separator, the error texts.
#include "Conversions.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>

using namespace kelvaro;

namespace {

// The text is refused with an error that carries it.
void ExpectConvertError(const std::string& text, bool integer, char separator = ',')
{
    SCOPED_TRACE("text [" + text + "]");
    try {
        (void)(integer ? StrToInt(text) : StrToFloat(text, separator));
        ADD_FAILURE() << "accepted";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Text(), text);
        EXPECT_EQ(std::string(e.what()),
                  "'" + text + "' ei ole kelvollinen " + (integer ? "kokonaisluku" : "liukuluku"));
    }
}

} // namespace

TEST(StrToFloat, GrammarWithTheSeparator)
{
    struct Row { const char* text; char separator; long double expected; };
    const Row rows[] = {
        {" \t-2,25\t ", ',', -2.25L}, {"+3", ',', 3.0L},   {"5,", ',', 5.0L},
        {"-,5", ',', -0.5L},          {"1,5E-2", ',', 0.015L}, {"2e+2", ',', 200.0L},
        {"1.5", '.', 1.5L},
        {"0,1", ',', 0.1L},     // extended precision, not the double 0.1
        {"1e-5000", ',', 0.0L}, // below even extended precision: zero
        {"9e-4943", ',', std::strtold("9e-4943", nullptr)}, // an extended-precision subnormal
    };
    for (const Row& row : rows)
        EXPECT_EQ(StrToFloat(row.text, row.separator), row.expected) << row.text;
    EXPECT_EQ(static_cast<double>(StrToFloat("1,7976931348623157e308", ',')), DBL_MAX);
    EXPECT_TRUE(std::signbit(StrToFloat("-0", ',')));

    for (const char* text : {"", " ", "+", ",", "1e", "e5", "inf", "nan", "0x10", "1 000",
                             "1,2,3", "1.5", "+-1", "1e2,5", "1\n", "1e400", "-1,8e308"})
        ExpectConvertError(text, false);
    ExpectConvertError("1,5", false, '.');
}

TEST(StrToInt, WholeNumbersWithinThirtyTwoBits)
{
    EXPECT_EQ(StrToInt(" -42\t"), -42);
    EXPECT_EQ(StrToInt("+007"), 7);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    for (const char* text : {"", "-", "2147483648", "-2147483649", "100,0", "1e3", "1 0", "0x10"})
        ExpectConvertError(text, true);
}

// Characters that belong to numbers cannot separate them.
TEST(DecimalSeparator, RefusesCharactersOfNumbers)
{
    for (char bad : {'\0', '5', '-', 'e', ' '})
        EXPECT_THROW(SetDecimalSeparator(bad), std::invalid_argument) << int(bad);
}

// Run by ctest once per locale, each in a process of its own.
TEST(SystemSeparator, FollowsTheLocaleEnvironment)
{
    const char* expected = std::getenv("KELVARO_EXPECTED_SEPARATOR");
    if (expected == nullptr)
        GTEST_SKIP() << "needs KELVARO_EXPECTED_SEPARATOR";
    ResetDecimalSeparator();
    EXPECT_EQ(DecimalSeparator(), expected[0]);
    EXPECT_EQ(StrToFloat(std::string("2") + expected[0] + "5"), 2.5L);
}

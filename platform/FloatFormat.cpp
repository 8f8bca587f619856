// Number to text: the general format and the result listing line. Neither goes
// through printf, whose decimal point follows the C locale that Qt sets.
#include "FloatFormat.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace kelvaro {

namespace {

constexpr int kMaxPrecision = 18;
// The value is first taken to this many significant digits (half to even) and
// only then rounded half away from zero to the precision, as an extended-
// precision conversion does: the double nearest 0.0000012345 lies a little
// below it, yet shows as 1,235E-006 at precision 4.
constexpr int kTextDigits = 18;
constexpr int kMaxExponentDigits = 4;
// At most 26: "-0," + 4 zeros + 18 digits, or "-d," + 17 digits + "E-" + 4 digits.
constexpr std::size_t kMaxGeneralLength = 32;

// A nonzero magnitude rounded to `count` significant digits:
// digits[0].digits[1]... times ten to the power `exponent`, digits[0] != '0'.
struct RoundedDecimal {
    std::array<char, kMaxPrecision> digits;
    int count;
    int exponent;
};

constexpr std::array<std::uint64_t, 20> kPow10Int = [] {
    std::array<std::uint64_t, 20> powers{};
    std::uint64_t p = 1;
    for (auto& power : powers) {
        power = p;
        p *= 10;
    }
    return powers;
}();

// Powers of ten correctly rounded to the type: scaling a double by one of
// them is off by at most one rounding of the table and one of the product.
template <typename Real, int kMin, int kMax> struct PowersOfTen {
    static constexpr int min = kMin;
    static constexpr int max = kMax;
    static Real Get(int k) {
        static const auto table = [] {
            std::array<Real, kMax - kMin + 1> t{};
            char text[16] = "1e";
            for (int i = kMin; i <= kMax; ++i) {
                const auto res = std::to_chars(text + 2, text + sizeof text, i);
                std::from_chars(text, res.ptr, t[static_cast<std::size_t>(i - kMin)]);
            }
            return t;
        }();
        return table[static_cast<std::size_t>(k - kMin)];
    }
};
// Doubles cover the usual magnitudes quickly; extended precision covers every
// double and more digits.
using DoublePowers = PowersOfTen<double, -300, 300>;
using ExtendedPowers = PowersOfTen<long double, -350, 350>;

void SetDigits(RoundedDecimal& out, std::uint64_t r, int count, int exponent) {
    out.count = count;
    out.exponent = exponent;
    for (int i = count - 1; i >= 0; --i) {
        out.digits[static_cast<std::size_t>(i)] = static_cast<char>('0' + r % 10);
        r /= 10;
    }
}

// floor(log10(magnitude)), or one off.
int EstimateDecimalExponent(double magnitude) {
    const auto biased = static_cast<int>(std::bit_cast<std::uint64_t>(magnitude) >> 52);
    const int binary = biased != 0 ? biased - 1023 : std::ilogb(magnitude);
    return (binary * 78913) >> 18; // 78913 / 2^18 is just below log10(2)
}

// Rounds through one scaling by a power of ten in Real. Gives up (false) when
// the scaled tail is too close to the rounding threshold to be sure of the
// side, or when the scale is outside the table.
template <typename Real, typename Powers>
bool RoundScaled(double magnitude, int precision, RoundedDecimal& out) {
    // Relative error of the scaled value, with a wide margin: 4 ulps.
    constexpr Real kTolerance = 4 * std::numeric_limits<Real>::epsilon();
    // A tail that reaches one half once taken to kTextDigits digits rounds up.
    const Real threshold = Real(0.5) - Real(0.5) * ExtendedPowers::Get(precision - kTextDigits);
    const std::uint64_t low = kPow10Int[static_cast<std::size_t>(precision - 1)];
    const std::uint64_t high = kPow10Int[static_cast<std::size_t>(precision)];
    int exponent = EstimateDecimalExponent(magnitude);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int scale = precision - 1 - exponent;
        if (scale < Powers::min || scale > Powers::max) return false;
        const Real q = static_cast<Real>(magnitude) * Powers::Get(scale);
        const auto whole = static_cast<std::uint64_t>(q);
        const Real tail = q - static_cast<Real>(whole);
        if (std::fabs(tail - threshold) <= q * kTolerance) return false;
        const std::uint64_t r = whole + (tail > threshold ? 1 : 0);
        if (r < low) {
            --exponent;
        } else if (r > high) {
            ++exponent;
        } else if (r == high) {
            // Rounded up to the next power of ten (9999.5 -> 1E004).
            SetDigits(out, low, precision, exponent + 1);
            return true;
        } else {
            SetDigits(out, r, precision, exponent);
            return true;
        }
    }
    return false;
}

bool RoundFast(double magnitude, int precision, RoundedDecimal& out) {
    // Up to 10^13 the tolerance of a double stays far below one half; where
    // doubles are not sure (near ties, extreme magnitudes) extended precision
    // often is.
    if (precision <= 12 && RoundScaled<double, DoublePowers>(magnitude, precision, out))
        return true;
    return precision <= 15 && RoundScaled<long double, ExtendedPowers>(magnitude, precision, out);
}

// The slow but exact way: the correctly rounded kTextDigits digits, then
// half away from zero on those.
void RoundExact(double magnitude, int precision, RoundedDecimal& out) {
    char text[40];
    const auto res = std::to_chars(text, text + sizeof text, magnitude,
                                   std::chars_format::scientific, kTextDigits - 1);
    // text: d.ddddddddddddddddde[+-]xx
    const char* const e = std::find(text, res.ptr, 'e');
    int exponent = 0;
    std::from_chars(e + (e[1] == '+' ? 2 : 1), res.ptr, exponent);
    auto digitAt = [&](int i) { return i == 0 ? text[0] : text[i + 1]; };

    out.count = precision;
    for (int i = 0; i < precision; ++i) out.digits[static_cast<std::size_t>(i)] = digitAt(i);
    if (precision < kTextDigits && digitAt(precision) >= '5') {
        int i = precision - 1;
        while (i >= 0 && out.digits[static_cast<std::size_t>(i)] == '9')
            out.digits[static_cast<std::size_t>(i--)] = '0';
        if (i >= 0) {
            ++out.digits[static_cast<std::size_t>(i)];
        } else {
            out.digits[0] = '1';
            ++exponent;
        }
    }
    out.exponent = exponent;
}

char* CopyDigits(char* w, const RoundedDecimal& d, int from, int to) {
    for (int i = from; i < to; ++i) *w++ = d.digits[static_cast<std::size_t>(i)];
    return w;
}

void AppendPadded(std::string& out, const char* begin, const char* end, std::size_t width) {
    const auto length = static_cast<std::size_t>(end - begin);
    if (length < width) out.append(width - length, ' ');
    out.append(begin, end);
}

void AppendFixed3(std::string& out, double value) {
    // The largest double takes 309 integer digits.
    char text[400];
    const auto res = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3);
    AppendPadded(out, text, res.ptr, 9);
}

} // namespace

void AppendGeneral(std::string& out, double value, int precision, int digits, char separator) {
    precision = std::clamp(precision, 1, kMaxPrecision);
    digits = std::clamp(digits, 0, kMaxExponentDigits);
    if (std::isnan(value)) {
        out += "NAN";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-INF" : "INF";
        return;
    }
    if (value == 0) {
        out += '0';
        return;
    }

    RoundedDecimal d;
    const double magnitude = std::fabs(value);
    if (!RoundFast(magnitude, precision, d)) RoundExact(magnitude, precision, d);
    int significant = d.count;
    while (significant > 1 && d.digits[static_cast<std::size_t>(significant - 1)] == '0')
        --significant;

    // Written in place: room for the longest text, trimmed afterwards.
    const std::size_t start = out.size();
    out.resize(start + kMaxGeneralLength);
    char* const text = out.data() + start;
    char* w = text;
    if (value < 0) *w++ = '-';
    if (d.exponent >= -5 && d.exponent < precision) {
        if (d.exponent >= 0) {
            const int integerDigits = d.exponent + 1;
            w = CopyDigits(w, d, 0, integerDigits);
            if (significant > integerDigits) {
                *w++ = separator;
                w = CopyDigits(w, d, integerDigits, significant);
            }
        } else {
            *w++ = '0';
            *w++ = separator;
            w = std::fill_n(w, -d.exponent - 1, '0');
            w = CopyDigits(w, d, 0, significant);
        }
    } else {
        *w++ = d.digits[0];
        if (significant > 1) {
            *w++ = separator;
            w = CopyDigits(w, d, 1, significant);
        }
        *w++ = 'E';
        if (d.exponent < 0) *w++ = '-';
        char exponentText[8];
        const auto res =
            std::to_chars(exponentText, exponentText + sizeof exponentText, std::abs(d.exponent));
        w = std::fill_n(w, std::max<std::ptrdiff_t>(0, digits - (res.ptr - exponentText)), '0');
        w = std::copy(exponentText, res.ptr, w);
    }
    out.resize(start + static_cast<std::size_t>(w - text));
}

// ffGeneral is the only format there is (see TFloatFormat).
std::string FloatToStrF(double value, TFloatFormat, int precision, int digits, char separator) {
    std::string text;
    AppendGeneral(text, value, precision, digits, separator);
    return text;
}

void AppendListingLine(std::string& out, int number, double price, double value) {
    char text[16];
    const auto res = std::to_chars(text, text + sizeof text, number);
    AppendPadded(out, text, res.ptr, 4);
    out += ' ';
    AppendFixed3(out, price);
    out += ' ';
    AppendFixed3(out, value);
}

std::string ReadableNumber(double value, int significant, char separator) {
    if (!std::isfinite(value))
        return FloatToStrF(value, TFloatFormat::ffGeneral, significant, 3, separator);
    constexpr int kMostDecimals = 8;
    int decimals = kMostDecimals;
    if (value != 0) {
        const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value))));
        decimals = std::clamp(significant - 1 - exponent, 0, kMostDecimals);
    }
    char buffer[400];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') text.pop_back();
    }
    if (text == "-0") text = "0";
    std::replace(text.begin(), text.end(), '.', separator);
    return text;
}

} // namespace kelvaro

// StrToFloat and StrToInt: never crash, accept exactly the number grammar, and
// read back what FloatToStrF wrote within its four significant digits.
#include "Conversions.h"
#include "FloatFormat.h"
#include "FuzzInput.h"

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

using namespace kelvaro;

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The grammar, written independently: blanks, sign, digits with at most one
// separator (a digit somewhere), for floats an exponent, blanks. On success
// `plain` holds the number with a '.' for the reference parser.
bool Grammatical(const std::string& text, char sep, bool allowFraction, std::string& plain) {
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    size_t i = b;
    plain.clear();
    if (i < e && (text[i] == '+' || text[i] == '-')) plain += text[i++];
    int digits = 0;
    bool seenSep = false;
    for (; i < e; ++i) {
        if (IsDigit(text[i])) {
            ++digits;
            plain += text[i];
        } else if (text[i] == sep && allowFraction && !seenSep) {
            seenSep = true;
            plain += '.';
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    if (allowFraction && i < e && (text[i] == 'e' || text[i] == 'E')) {
        plain += text[i++];
        if (i < e && (text[i] == '+' || text[i] == '-')) plain += text[i++];
        int expDigits = 0;
        for (; i < e && IsDigit(text[i]); ++i, ++expDigits) plain += text[i];
        if (expDigits == 0) return false;
    }
    return i == e;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const char sep = (in.Take<uint8_t>() & 1) ? ',' : '.';
    const std::string text = in.Rest();
    std::setlocale(LC_NUMERIC, "C");

    std::string plain;
    if (Grammatical(text, sep, true, plain)) {
        const long double reference = std::strtold(plain.c_str(), nullptr);
        try {
            const long double v = StrToFloat(text, sep);
            if (std::fabs(reference) > DBL_MAX) std::abort(); // out of range must be refused
            if (v != reference && std::fabs(v - reference) > std::fabs(reference) * 1e-18L)
                std::abort();
        } catch (const EConvertError&) {
            if (!(std::fabs(reference) > DBL_MAX)) std::abort();
        }
    } else {
        try {
            StrToFloat(text, sep);
            std::abort();
        } catch (const EConvertError& e) {
            if (e.Text() != text) std::abort();
        }
    }

    SetDecimalSeparator(sep);
    if (Grammatical(text, sep, false, plain)) {
        const long long reference = std::strtoll(plain.c_str(), nullptr, 10);
        const std::string digits = plain.substr(plain.find_first_not_of("+-0") == std::string::npos
                                                    ? plain.size()
                                                    : plain.find_first_not_of("+-0"));
        const bool fits = digits.size() < 15 && reference >= INT32_MIN && reference <= INT32_MAX;
        try {
            if (StrToInt(text) != reference || !fits) std::abort();
        } catch (const EConvertError&) {
            if (fits) std::abort();
        }
    } else {
        try {
            StrToInt(text);
            std::abort();
        } catch (const EConvertError&) {
        }
    }

    // Round trip through the value format.
    double x;
    std::memcpy(&x, data, size < sizeof x ? 0 : sizeof x);
    if (size >= sizeof x && std::isfinite(x)) {
        const std::string written = FloatToStrF(x, TFloatFormat::ffGeneral, 4, 3, sep);
        long double back;
        try {
            back = StrToFloat(written, sep);
        } catch (const EConvertError&) {
            // Only the largest doubles round up past the range, to 1,798E308.
            if (std::fabs(x) < 1.7975e308) std::abort();
            return 0;
        }
        if (x != 0 && std::fabs((back - x) / x) > 5e-4L) std::abort();
        if (x == 0 && back != 0) std::abort();
    }
    return 0;
}

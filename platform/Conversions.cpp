// Text to number with the regional decimal separator, and the separator itself.
// Standard C++ only: the system locale is read by the Qt part (QtBridge).
#include "Conversions.h"

#include <atomic>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cstdint>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <string>

namespace kelvaro {

namespace {

std::atomic<char> separatorOverride{'\0'};

std::atomic<char (*)()> systemSource{nullptr};

char SystemSeparator() {
    char (*source)() = systemSource.load(std::memory_order_acquire);
    return source != nullptr ? source() : '.';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

[[noreturn]] void ThrowNotFloat(std::string_view text) {
    std::string shown(text);
    throw EConvertError("'" + shown + "' ei ole kelvollinen liukuluku", shown);
}

[[noreturn]] void ThrowNotInt(std::string_view text) {
    std::string shown(text);
    throw EConvertError("'" + shown + "' ei ole kelvollinen kokonaisluku", shown);
}

std::size_t SkipDigits(std::string_view s, std::size_t i) {
    while (i < s.size() && IsDigit(s[i])) ++i;
    return i;
}

// The pieces of a well-formed float text; views into the trimmed text.
struct FloatParts {
    bool negative = false;
    std::string_view intDigits;
    std::string_view fracDigits;
    bool expNegative = false;
    std::string_view expDigits;
};

bool SplitFloat(std::string_view s, char separator, FloatParts& parts) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) parts.negative = s[i++] == '-';
    std::size_t start = i;
    i = SkipDigits(s, i);
    parts.intDigits = s.substr(start, i - start);
    if (i < s.size() && s[i] == separator) {
        start = ++i;
        i = SkipDigits(s, i);
        parts.fracDigits = s.substr(start, i - start);
    }
    if (parts.intDigits.empty() && parts.fracDigits.empty()) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) parts.expNegative = s[i++] == '-';
        start = i;
        i = SkipDigits(s, i);
        parts.expDigits = s.substr(start, i - start);
        if (parts.expDigits.empty()) return false;
    }
    return i == s.size();
}

// Decimal exponent of the leading nonzero digit, for telling an overflow from
// an underflow when the value is beyond even extended precision.
long long LeadingExponent(const FloatParts& p) {
    long long exponent = 0;
    for (char c : p.expDigits) {
        exponent = exponent * 10 + (c - '0');
        if (exponent > 1'000'000'000) break;
    }
    if (p.expNegative) exponent = -exponent;
    const std::size_t firstInt = p.intDigits.find_first_not_of('0');
    if (firstInt != std::string_view::npos)
        return exponent + static_cast<long long>(p.intDigits.size() - firstInt) - 1;
    const std::size_t firstFrac = p.fracDigits.find_first_not_of('0');
    if (firstFrac != std::string_view::npos)
        return exponent - static_cast<long long>(firstFrac) - 1;
    return LLONG_MIN; // the value is zero
}

// from_chars reports every underflow as out of range, subnormals included, and
// leaves the value unset; the classic stream reads them to the nearest subnormal
// (or zero below it) without consulting the C locale.
long double Underflowed(const std::string& plain) {
    std::istringstream in(plain);
    in.imbue(std::locale::classic());
    long double value = 0;
    in >> value;
    return in.fail() ? 0.0L : value;
}

} // namespace

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char DecimalSeparator() {
    const char forced = separatorOverride.load(std::memory_order_relaxed);
    if (forced != '\0') return forced;
    static const char system = SystemSeparator();
    return system;
}

void SetDecimalSeparator(char separator) {
    // A separator that could be part of a number would make texts ambiguous.
    if (separator == '\0' || IsDigit(separator) || IsBlank(separator) || separator == '+' ||
        separator == '-' || separator == 'e' || separator == 'E')
        throw std::invalid_argument(std::string("kelvoton desimaalierotin '") + separator + "'");
    separatorOverride.store(separator, std::memory_order_relaxed);
}

void SetSystemSeparatorSource(char (*source)()) {
    systemSource.store(source, std::memory_order_release);
}

void ResetDecimalSeparator() {
    separatorOverride.store('\0', std::memory_order_relaxed);
}

long double StrToFloat(std::string_view text) {
    return StrToFloat(text, DecimalSeparator());
}

long double StrToFloat(std::string_view text, char separator) {
    const std::string_view s = Trim(text);
    FloatParts parts;
    if (!SplitFloat(s, separator, parts)) ThrowNotFloat(text);

    // from_chars never looks at the C locale, which Qt sets from the environment.
    std::string plain;
    plain.reserve(s.size() + 4);
    plain.append(parts.intDigits.empty() ? std::string_view("0") : parts.intDigits);
    if (!parts.fracDigits.empty()) {
        plain += '.';
        plain.append(parts.fracDigits);
    }
    if (!parts.expDigits.empty()) {
        plain += parts.expNegative ? "e-" : "e";
        plain.append(parts.expDigits);
    }

    long double magnitude = 0;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), magnitude);
    if (ec == std::errc::result_out_of_range) {
        if (LeadingExponent(parts) > 0) ThrowNotFloat(text);
        magnitude = Underflowed(plain);
    } else if (ec != std::errc() || end != plain.data() + plain.size()) {
        ThrowNotFloat(text);
    }
    if (magnitude > static_cast<long double>(DBL_MAX)) ThrowNotFloat(text);
    return parts.negative ? -magnitude : magnitude;
}

long double StrToFloatPointOrComma(std::string_view text) {
    return StrToFloat(text, text.find(',') != std::string_view::npos ? ',' : '.');
}

int StrToInt(std::string_view text) {
    std::string_view s = Trim(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || SkipDigits(s, 0) != s.size()) ThrowNotInt(text);
    std::int64_t magnitude = 0;
    for (char c : s) {
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 2147483648LL) ThrowNotInt(text);
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX) ThrowNotInt(text);
    return static_cast<int>(value);
}

} // namespace kelvaro

// Number and date conversions with the regional decimal separator, standing in
// for the window toolkit's own. Standard C++ apart from the locale lookup.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// A text that is not a number of the expected kind. Text() is the offending text.
class EConvertError : public std::runtime_error {
public:
    EConvertError(const std::string& message, std::string text)
        : std::runtime_error(message), text_(std::move(text)) {}
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// The regional decimal separator: the system locale's (LC_ALL, LC_NUMERIC,
// LANG, as QLocale::system() reports it) unless overridden. Always one
// 8-bit character; a separator outside Latin-1 falls back to '.'.
char DecimalSeparator();
// Overrides the separator for the rest of the process (tests, --decimal-separator).
void SetDecimalSeparator(char separator);
// Drops an override: back to the system locale's separator.
void ResetDecimalSeparator();

// Blanks around the number are ignored; an optional sign, digits, at most one
// separator and, for floats, an optional exponent. Anything else throws
// EConvertError. The float comes at extended precision; values beyond the range
// of a double are refused.
long double StrToFloat(std::string_view text);
long double StrToFloat(std::string_view text, char separator);
int StrToInt(std::string_view text);

enum class TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

// General format: the value is first taken to 18 significant digits (as an
// extended-precision decimal conversion would), then rounded half away from
// zero to `precision` significant digits; plain notation when the rounded value has at most `precision`
// integer digits and is zero or at least 0.00001 in magnitude, scientific
// otherwise ("1,235E004", "1,235E-006"). Infinities and NaN give "INF",
// "-INF" and "NAN". Only ffGeneral is supported.
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits);
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        char separator);

// Appends FloatToStrF(value, ffGeneral, precision, digits, separator) to out;
// the allocation-free form for writing large grids.
void AppendGeneral(std::string& out, double value, int precision, int digits, char separator);

// One result listing line, "%4d %9.3f %9.3f" with a decimal point whatever the
// locale; fields wider than their width widen the line, nothing is cut.
std::string FormatListingLine(int number, double price, double value);
void AppendListingLine(std::string& out, int number, double price, double value);

// Date-time serials: days since 30 December 1899, the fraction the time of day.
double EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0,
                      int second = 0, int msec = 0);
// Sunday = 1 ... Saturday = 7.
int DayOfWeek(double serial);
// Today's date at midnight, local time.
double Today();

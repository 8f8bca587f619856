// Text to number with the regional decimal separator, standing in for the
// window toolkit's own. Standard C++ only.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kelvaro {

// A text that is not a number of the expected kind. Text() is the offending text.
class EConvertError : public std::runtime_error {
public:
    EConvertError(const std::string& message, std::string text)
        : std::runtime_error(message), text_(std::move(text)) {}
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// The regional decimal separator: the system locale's (from the source
// below, read once) unless overridden. Always one 8-bit character.
char DecimalSeparator();
// Where the system locale's separator comes from; '.' while none is set.
// Linking QtBridge sets QLocale's reading (see UseQtLocaleSeparator).
void SetSystemSeparatorSource(char (*source)());
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
// Typed by people and scripts alike: a point or a comma, whichever the text
// holds, is its separator.
long double StrToFloatPointOrComma(std::string_view text);
int StrToInt(std::string_view text);

// The text without the blanks (spaces and tabs) around it.
std::string_view Trim(std::string_view text);

} // namespace kelvaro

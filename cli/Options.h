// kelvaro's options: the table (name, argument, default, help), reading a
// command line by it, the values with the window's conversions, and --help.
#pragma once

#include "Grid.h"

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kelvaro {

// A usage error: the message names the option and the text it got.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct OptionInfo {
    std::string_view name;
    std::string_view argument;    // placeholder in the help; empty for a flag
    std::string_view defaultText; // read like a typed value when the option is absent
    std::string_view help;
};

// The given options by name, each at most once; flags map to "".
class ParsedArgs {
public:
    explicit ParsedArgs(const std::vector<std::string>& args);

    bool Has(std::string_view name) const { return values_.contains(name); }

    const auto& All() const { return values_; }

    // The typed text, or the option's default text when it was not given.
    std::string Text(std::string_view name) const;

private:
    std::map<std::string_view, std::string, std::less<>> values_;
};

// An option's default text as the table holds it (the window's default text
// for a number); throws std::invalid_argument for an unknown name.
std::string_view OptionDefault(std::string_view name);

std::string Quoted(std::string_view text);

// Throws UsageError naming the option, the text and what was expected.
[[noreturn]] void ThrowBadValue(std::string_view name, std::string_view text,
                                std::string_view hint = {});

// A number option; a point or a comma, whichever the text holds, is its separator.
long double ReadFloat(const ParsedArgs& parsed, std::string_view name);
int ReadInt(const ParsedArgs& parsed, std::string_view name);
// "YYYY-MM-DD HH:MM", or "YYYY-MM-DD" at the given time of day.
double ReadDate(const ParsedArgs& parsed, std::string_view name, int defaultHour,
                int defaultMinute);
// --decimal-separator: one character, written as its Latin-1 byte.
char ReadSeparator(const ParsedArgs& parsed);
// The record's inputs with the window's conversions, scalings and order. The
// expiry's time of day, when given, must be the close, 18:20.
CGrid ReadInputs(const ParsedArgs& parsed);
// A price option as a double rounded once from its text.
double ReadPrice(const ParsedArgs& parsed, std::string_view name = "--value-at");
// --share and --price: a price above 0.
double PositivePrice(const ParsedArgs& parsed, std::string_view name);

// kelvaro --help, UTF-8, every option with its unit and default.
std::string HelpText();

} // namespace kelvaro

// kelvaro's options: the table (name, argument, default, help), reading a
// command line by it, the values with the window's conversions, and --help.
#pragma once

#include "WarrantInputs.h"

#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvaro {

struct OptionInfo {
    std::string_view name;
    std::string_view argument;    // placeholder in the help; empty for a flag
    std::string_view defaultText; // read like a typed value when the option is absent
    std::string_view help;
};

// Every option, in the order of --help.
std::span<const OptionInfo> AllOptions();

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

// --decimal-separator: one character, written as its Latin-1 byte.
char ReadSeparator(const ParsedArgs& parsed);
// The warrant's inputs the command line gives (ReadWarrant takes the
// others' defaults): a document's (--inputs) fields, each replaced by the
// option of the same name wherever it stands on the line. A document that
// cannot be read throws DocumentError.
InputTexts InputTextsOf(const ParsedArgs& parsed);

// kelvaro --help, UTF-8, every option with its unit and default.
std::string HelpText();

} // namespace kelvaro

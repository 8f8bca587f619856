// A warrant's inputs as typed, read and checked into the record with the
// window's conversions: shared by kelvaro's options, a batch row's fields and
// the window's warrant list, so that each gives the same numbers.
#pragma once

#include "Grid.h"
#include "ImpliedVolatility.h"

#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kelvaro {

// An input that cannot be used: the message names it (as kelvaro's option,
// "--strike") and the text it got.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The texts by input name, kelvaro's option without its dashes ("strike",
// "expiry", "share"); an input without a text is not given.
using InputTexts = std::map<std::string, std::string, std::less<>>;

// A warrant's input: its name and the text it has when not given, the
// window's default text ("" for none).
struct InputInfo {
    std::string_view Name, DefaultText;
};

// The inputs of one warrant, in the order kelvaro's help lists them; "share"
// and "price" ask for the figures at a share price and the volatility there.
inline constexpr InputInfo kInputs[] = {
    {"type", "normal"},
    {"side", "call"},
    {"strike", "15,00"},
    {"multiplier", "0,2"},
    {"margin", "0,50"},
    {"valuation", ""},
    {"expiry", ""},
    {"dividend-date", "2006-03-31"},
    {"dividend", "0,00"},
    {"dividends", ""},
    {"steps-per-day", "100"},
    {"volatility", "30,0"},
    {"rate", "3,0"},
    {"open", "100"},
    {"weekend", "2,0"},
    {"share", ""},
    {"price", ""},
    {"holidays", ""},
    {"closures", ""},
};

// The input's default text; "" for an unknown name.
constexpr std::string_view InputDefault(std::string_view name) {
    for (const InputInfo& input : kInputs)
        if (input.Name == name) return input.DefaultText;
    return {};
}

bool IsInput(std::string_view name);

std::string Quoted(std::string_view text);

// Throws InputError naming the option ("--strike"), the text and what was expected.
[[noreturn]] void ThrowBadValue(std::string_view option, std::string_view text,
                                std::string_view hint = {});

// Throws InputError when the input has no text: "valitsin --expiry puuttuu".
void RequireInput(const InputTexts& texts, std::string_view name);

// The record's inputs with the window's conversions, scalings and order.
// An input not given takes its default text; "expiry" must be given, and
// "valuation" is by default today at 10:00. The expiry's time of day, when given, must be
// the close, 18:20.
CGrid ReadWarrant(const InputTexts& texts);

// The most dividends a "dividends" list holds (on top of the form's one).
inline constexpr std::size_t kMostDividends = 64;

// Further dividends "YYYY-MM-DD:AMOUNT;YYYY-MM-DD:AMOUNT…" (blank items
// skipped), each dated at the close, 18:20, the amount with a point or a
// comma as the form's dividend is read. A bad item throws InputError naming
// `option` and the item; more than kMostDividends are refused.
std::vector<CDividend> ReadDividends(std::string_view option, std::string_view text);

// A price as a double rounded once from its text (a point or a comma).
double ReadPrice(std::string_view option, const std::string& text);
// A price above 0 (--share, --price).
double ReadPositivePrice(std::string_view option, const std::string& text);

// The share price and the market price to solve at, when given; a price
// without a share price is refused.
struct SharePrices {
    std::optional<double> Share, Price;
};
SharePrices ReadSharePrices(const InputTexts& texts);
// Throws InputError for a price without a share price.
void RequireShareForPrice(const InputTexts& texts);

// The solved volatility as it is typed into the volatility input: two
// decimals with `separator`. The window puts it in its field and kelvaro
// reads it back, so that the listing, the figures and a later save all use
// the volatility shown.
std::string SolvedVolatilityInput(const CImpliedVolatility& solved, char separator);
// A volatility text (in %) as the record holds it.
double ReadVolatility(const std::string& text);

} // namespace kelvaro

// A warrant's inputs as typed, read and checked into the record with the
// window's conversions: shared by kelvaro's options, a batch row's fields and
// the window's warrant list, so that each gives the same numbers.
#pragma once

#include "Analysis.h"
#include "Grid.h"

#include <functional>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

// An input that cannot be used: the message names it (as kelvaro's option,
// "--strike") and the text it got.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The texts by input name, kelvaro's option without its dashes ("strike",
// "expiry", "share"); an input without a text is not given.
using InputTexts = std::map<std::string, std::string, std::less<>>;

// The inputs of one warrant, in the order kelvaro's help lists them; "share"
// and "price" ask for the figures at a share price and the volatility there.
std::span<const std::string_view> InputNames();

std::string Quoted(std::string_view text);

// Throws InputError naming the option ("--strike"), the text and what was expected.
[[noreturn]] void ThrowBadValue(std::string_view option, std::string_view text,
                                std::string_view hint = {});

// Throws InputError when the input has no text: "valitsin --expiry puuttuu".
void RequireInput(const InputTexts& texts, std::string_view name);

// The record's inputs with the window's conversions, scalings and order.
// Every input but "valuation" (by default today at 10:00), "share" and
// "price" must have a text. The expiry's time of day, when given, must be
// the close, 18:20.
CGrid ReadWarrant(const InputTexts& texts);

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

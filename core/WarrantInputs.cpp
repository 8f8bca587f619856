#include "WarrantInputs.h"

#include "Closures.h"
#include "Conversions.h"
#include "Dates.h"
#include "InputScaling.h"
#include "PeopleText.h"
#include "Refusals.h"
#include "ShareOutput.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kelvaro {

namespace {

std::string Option(std::string_view name) {
    return "--" + std::string(name);
}

// The given text, or else the default text.
std::string Text(const InputTexts& texts, std::string_view name) {
    if (const auto it = texts.find(name); it != texts.end()) return it->second;
    if (const std::string_view text = InputDefault(name); !text.empty()) return std::string(text);
    RequireInput(texts, name);
    return {};
}

long double ReadFloat(const InputTexts& texts, std::string_view name) {
    const std::string text = Text(texts, name);
    try {
        return StrToFloatPointOrComma(text);
    } catch (const EConvertError&) {
        ThrowBadValue(Option(name), text);
    }
}

int ReadInt(const InputTexts& texts, std::string_view name) {
    const std::string text = Text(texts, name);
    try {
        return StrToInt(text);
    } catch (const EConvertError&) {
        ThrowBadValue(Option(name), text, "kokonaisluku");
    }
}

// "YYYY-MM-DD HH:MM", or "YYYY-MM-DD" at the given time of day; a real
// calendar date and a time from 00:00 to 23:59.
double ReadDate(const InputTexts& texts, std::string_view name, int defaultHour,
                int defaultMinute) {
    const std::string text = Text(texts, name);
    if (const std::optional<DateTimeFields> f = ParseDateTimeFields(text, true)) {
        try {
            return EncodeDateTime(f->Year, f->Month, f->Day, f->HasTime ? f->Hour : defaultHour,
                                  f->HasTime ? f->Minute : defaultMinute);
        } catch (const EConvertError&) {
        }
    }
    ThrowBadValue(Option(name), text, "päivämäärä muodossa YYYY-MM-DD tai YYYY-MM-DD HH:MM");
}

} // namespace

bool IsInput(std::string_view name) {
    return std::any_of(std::begin(kInputs), std::end(kInputs),
                       [name](const InputInfo& input) { return input.Name == name; });
}

std::string Quoted(std::string_view text) {
    // Appended rather than `"\"" + ... + "\""`, on which GCC 12 warns falsely (-Wrestrict).
    std::string quoted(1, '"');
    quoted.append(text).push_back('"');
    return quoted;
}

void ThrowBadValue(std::string_view option, std::string_view text, std::string_view hint) {
    std::string message =
        "virheellinen arvo valitsimelle " + std::string(option) + ": " + Quoted(text);
    if (!hint.empty()) message += " (" + std::string(hint) + ")";
    throw InputError(message);
}

void RequireInput(const InputTexts& texts, std::string_view name) {
    if (!texts.contains(name)) throw InputError("valitsin " + Option(name) + " puuttuu");
}

CGrid ReadWarrant(const InputTexts& texts) {
    CGrid grid;
    CWarrant& warrant = grid.Warrant;

    const std::string type = Text(texts, "type");
    if (type == "normal")
        warrant.ProductType = kNormal;
    else if (type == "turbo-shb")
        warrant.ProductType = kTurboSHB;
    else if (type == "turbo-sg")
        warrant.ProductType = kTurboSG;
    else
        ThrowBadValue("--type", type, "normal, turbo-shb tai turbo-sg");

    const std::string side = Text(texts, "side");
    if (side != "call" && side != "put") ThrowBadValue("--side", side, "call tai put");
    warrant.IsCall = side == "call";

    constexpr int kCloseHour = 18, kCloseMinute = 20;
    warrant.Strike = static_cast<double>(ReadFloat(texts, "strike"));
    warrant.Expiry = ReadDate(texts, "expiry", kCloseHour, kCloseMinute);
    // The calendar counts the expiry day to its close whatever the time of
    // day, as the window's expiry (always 18:20) does: another time would be
    // read and then silently ignored.
    if (const std::string expiry = Text(texts, "expiry");
        expiry.size() > 10 && expiry.substr(11) != "18:20")
        ThrowBadValue("--expiry", expiry,
                      "päättymishetki on aina pörssin sulkeutuminen klo 18:20: anna pelkkä "
                      "päivä tai kellonaika 18:20");
    warrant.Multiplier = static_cast<double>(ReadFloat(texts, "multiplier"));
    warrant.Volatility = FromPercent(ReadFloat(texts, "volatility"));
    warrant.DividendDate = ReadDate(texts, "dividend-date", kCloseHour, kCloseMinute);
    warrant.Dividend = static_cast<double>(ReadFloat(texts, "dividend"));
    if (const auto it = texts.find("dividends"); it != texts.end())
        warrant.MoreDividends = ReadDividends("--dividends", it->second);
    // A mistyped margin is reported for every type, although only Turbo (SG)
    // uses it: a script's typo should not pass unnoticed.
    const double margin = static_cast<double>(ReadFloat(texts, "margin"));
    warrant.KnockOutMargin = warrant.ProductType == kTurboSG ? margin : 0.0;
    // The window's valuation picker starts today at 10:00.
    grid.ValuationTime =
        texts.contains("valuation") ? ReadDate(texts, "valuation", 10, 0) : Today() + 10.0 / 24.0;
    grid.StepsPerDay = ReadInt(texts, "steps-per-day");
    grid.OpenFraction = FromPercent(ReadFloat(texts, "open"));
    grid.WeekendWeight = WeekendWeightFromDays(ReadFloat(texts, "weekend"));
    grid.Rate = FromPercent(ReadFloat(texts, "rate"));
    grid.Closures = ClosureDays(texts.contains("holidays") ? texts.find("holidays")->second : "",
                                texts.contains("closures") ? texts.find("closures")->second : "",
                                grid.ValuationTime, warrant.Expiry);
    return grid;
}

std::vector<CDividend> ReadDividends(std::string_view option, std::string_view text) {
    constexpr std::string_view kHint = "osinko muodossa YYYY-MM-DD:MÄÄRÄ, esim. 2027-03-20:0,30; "
                                       "osingot puolipistein eroteltuina";
    std::vector<CDividend> dividends;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(';'), text.size());
        const std::string item(Trim(text.substr(0, end)));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (item.empty()) continue;
        if (dividends.size() == kMostDividends)
            ThrowBadValue(option, item, "enintään " + std::to_string(kMostDividends) + " osinkoa");
        const std::size_t colon = item.find(':');
        // The date alone: a time of day would put a colon in it.
        const std::optional<DateTimeFields> f =
            colon == 10 ? ParseDateTimeFields(item.substr(0, colon), false) : std::nullopt;
        if (!f) ThrowBadValue(option, item, kHint);
        CDividend d;
        try {
            d.Date = EncodeDateTime(f->Year, f->Month, f->Day, 18, 20);
            const std::string amount = item.substr(colon + 1);
            d.Amount = static_cast<double>(StrToFloatPointOrComma(amount));
        } catch (const EConvertError&) {
            ThrowBadValue(option, item, kHint);
        }
        dividends.push_back(d);
    }
    return dividends;
}

// The price as a double rounded once: a shortest round-trip text (from
// --json) must hit its node exactly, which a detour through extended
// precision could miss by double rounding. StrToFloat still judges the syntax.
double ReadPrice(std::string_view option, const std::string& given) {
    try {
        StrToFloatPointOrComma(given);
    } catch (const EConvertError&) {
        ThrowBadValue(option, given);
    }
    std::string text = given;
    text.erase(
        std::remove_if(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t'; }),
        text.end());
    std::replace(text.begin(), text.end(), ',', '.');
    const char* first = text.data() + (text.starts_with('+') ? 1 : 0);
    double price = 0;
    const auto [end, ec] = std::from_chars(first, text.data() + text.size(), price);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(price))
        ThrowBadValue(option, given);
    return price;
}

double ReadPositivePrice(std::string_view option, const std::string& text) {
    const double price = ReadPrice(option, text);
    if (!(price > 0)) ThrowBadValue(option, text, "hinta suurempi kuin 0");
    return price;
}

void RequireShareForPrice(const InputTexts& texts) {
    if (texts.contains("price") && !texts.contains("share"))
        throw InputError("valitsin --price tarvitsee valitsimen --share");
}

SharePrices ReadSharePrices(const InputTexts& texts) {
    RequireShareForPrice(texts);
    SharePrices prices;
    if (texts.contains("share")) prices.Share = ReadPositivePrice("--share", Text(texts, "share"));
    if (texts.contains("price")) prices.Price = ReadPositivePrice("--price", Text(texts, "price"));
    return prices;
}

std::string SolvedVolatilityInput(const CImpliedVolatility& solved, char separator) {
    return VolatilityPercentText(solved, separator);
}

double ReadVolatility(const std::string& text) {
    return FromPercent(ReadFloat({{"volatility", text}}, "volatility"));
}

} // namespace kelvaro

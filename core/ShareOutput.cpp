#include "ShareOutput.h"

#include "FloatFormat.h"
#include "NumberText.h"
#include "Utf8Text.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

namespace kelvaro {

namespace {

struct Field {
    std::string_view key;   // JSON
    std::string_view label; // text
    const std::optional<double>& value;
    std::string_view unit; // the window's unit column
};

// Theta runs to the next trading day, which may lie past closed days.
std::string_view ThetaLabel(const CShareFigures& f) {
    if (f.ThetaClosures > 0)
        return f.ThetaOverWeekend
                   ? (f.ThetaClosures > 1
                          ? "Theta päivässä (yli viikonlopun ja pörssin vapaapäivien)"
                          : "Theta päivässä (yli viikonlopun ja pörssin vapaapäivän)")
                   : (f.ThetaClosures > 1 ? "Theta päivässä (yli pörssin vapaapäivien)"
                                          : "Theta päivässä (yli pörssin vapaapäivän)");
    return f.ThetaOverWeekend ? "Theta päivässä (yli viikonlopun)" : "Theta päivässä";
}

// In the order of the JSON keys.
std::vector<Field> FieldsOf(const CShareFigures& f) {
    return {
        {"Value", "Arvo", f.Value, "/ warrantti"},
        {"Delta", "Delta", f.Delta, "/ osakkeen hintayksikkö"},
        {"Gamma", "Gamma", f.Gamma, "/ hintayksikkö²"},
        // Friday to Monday is one trading day but three calendar days.
        {"ThetaPerDay", ThetaLabel(f), f.ThetaPerDay, "/ kaupankäyntipäivä"},
        {"Vega", "Vega (1 %-yksikkö)", f.Vega, "/ volatiliteetin %-yksikkö"},
        {"Rho", "Rho (1 %-yksikkö)", f.Rho, "/ koron %-yksikkö"},
        {"Leverage", "Vipu", f.Leverage, "×"},
        {"Premium", "Preemio %", f.Premium, "%"},
        {"BreakEven", "Tasapiste", f.BreakEven, "osakkeen hinta erääntyessä"},
        {"KnockOutLevel", "Knock-out-taso", f.KnockOutLevel, "osakkeen hinta"},
        {"KnockOutDistance", "Etäisyys knock-out-tasoon %", f.KnockOutDistance, "%"},
        // With dividends the closed form is Black–Scholes at the share price
        // less the dividends' present value.
        {"Reference",
         f.ReferenceEscrowed ? "Suljettu kaava (osingot diskontattuina)" : "Suljettu kaava",
         f.Reference, "/ warrantti"},
        {"ReferenceDifference", "Ero suljettuun kaavaan", f.ReferenceDifference, "/ warrantti"}};
}

// Six significant digits, never E (a difference of 1e-6 reads 0,000001).
std::string Number(double value, char separator) {
    return ReadableNumber(value, 6, separator);
}

// As people read it. Leverage is shown as a size, calls and puts alike: the
// per cent the warrant gains for a per cent move of the share its way (the
// JSON keeps the sign, negative for a put).
std::string Shown(const Field& field, char separator) {
    if (!field.value) return "–";
    return Number(field.key == "Leverage" ? std::fabs(*field.value) : *field.value, separator);
}

} // namespace

std::vector<FigureRow> FigureRows(const CShareFigures& f, char separator) {
    std::vector<FigureRow> rows;
    for (const Field& field : FieldsOf(f))
        rows.push_back(
            {std::string(field.label), Shown(field, separator), std::string(field.unit)});
    return rows;
}

std::string VolatilityPercentText(const CImpliedVolatility& r, char separator) {
    char buffer[32];
    std::string percent(buffer, std::to_chars(buffer, buffer + sizeof buffer, r.VolatilityPercent,
                                              std::chars_format::fixed, 2)
                                    .ptr);
    for (char& c : percent)
        if (c == '.') c = separator;
    return percent;
}

std::string FiguresText(const CShareFigures& f, char separator) {
    std::string text = "Osakkeen hinta: " + Number(f.Share, separator) + "\n";
    for (const Field& field : FieldsOf(f)) {
        text.append(field.label).append(": ").append(Shown(field, separator)).append("\n");
    }
    if (f.KnockedOut) text += "Knock-out: hinta on knock-out-tasolla tai sen takana\n";
    if (f.Unreliable)
        text += "Huom.: tunnusluvut epävarmoja, hinta on solmun päässä knock-out-tasosta\n";
    return text;
}

std::vector<std::pair<std::string_view, std::optional<double>>>
FigureFields(const CShareFigures& f) {
    std::vector<std::pair<std::string_view, std::optional<double>>> fields{{"Share", f.Share}};
    for (const Field& field : FieldsOf(f)) fields.emplace_back(field.key, field.value);
    return fields;
}

std::string FiguresJson(const CShareFigures& f) {
    std::string json = "  \"AtShare\": {";
    const char* comma = "";
    for (const auto& [key, value] : FigureFields(f)) {
        json.append(comma).append("\"").append(key).append("\": ");
        if (value)
            AppendShortest(json, *value);
        else
            json += "null";
        comma = ", ";
    }
    return json + "}";
}

std::string VolatilityText(const CImpliedVolatility& r, char separator) {
    return "Implisiittinen volatiliteetti: " + VolatilityPercentText(r, separator) +
           " %\nArvostuksia: " + std::to_string(r.Valuations) + "\n";
}

std::string VolatilityJson(const CImpliedVolatility& r, double price) {
    std::string json = "  \"ImpliedVolatility\": {\"Volatility\": ";
    AppendShortest(json, r.VolatilityPercent);
    json += ", \"Valuations\": " + std::to_string(r.Valuations) + ", \"Price\": ";
    AppendShortest(json, price);
    return json + "}";
}

std::string_view VolatilityOutcomeName(VolatilityOutcome outcome) {
    switch (outcome) {
    case VolatilityOutcome::Solved:
        return "Solved";
    case VolatilityOutcome::NoSolution:
        return "NoSolution";
    case VolatilityOutcome::Insensitive:
        return "Insensitive";
    case VolatilityOutcome::KnockedOut:
        return "KnockedOut";
    case VolatilityOutcome::OffLattice:
        return "OffLattice";
    case VolatilityOutcome::Stopped:
        return "Stopped";
    }
    return {};
}

std::string UnsolvedVolatilityJson(const CImpliedVolatility& r, double price,
                                   std::string_view cause) {
    std::string json = "  \"ImpliedVolatility\": {\"Volatility\": null, \"Valuations\": " +
                       std::to_string(r.Valuations) + ", \"Price\": ";
    AppendShortest(json, price);
    json.append(", \"Outcome\": \"").append(VolatilityOutcomeName(r.Outcome)).append("\"");
    json += ", \"Cause\": ";
    AppendJsonString(json, cause);
    const auto member = [&json](const char* key, double value) {
        json.append(", \"").append(key).append("\": ");
        AppendShortest(json, value);
    };
    switch (r.Outcome) {
    case VolatilityOutcome::NoSolution:
        member("LowestVolatility", r.LowestVolatility * 100);
        member("HighestVolatility", kHighestVolatility * 100);
        member("ValueAtLowest", r.ValueAtLowest);
        member("ValueAtHighest", r.ValueAtHighest);
        break;
    case VolatilityOutcome::Insensitive:
        member("VegaPerPoint", r.VegaPerPoint);
        break;
    case VolatilityOutcome::KnockedOut:
        member("KnockOutLevel", r.PriceLow);
        break;
    default:
        break;
    }
    return json + "}";
}

} // namespace kelvaro

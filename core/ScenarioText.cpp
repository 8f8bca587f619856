// The scenario table and dates as text.
#include "ScenarioText.h"

#include "Calendar.h"
#include "NumberText.h"

#include <cmath>
#include <cstdint>

namespace kelvaro {

namespace {

// A change in per cent over a reference near the least double may overflow:
// spelt as the standard library spells it, as the table always has.
void AppendCell(std::string& text, double value, char decimalSeparator) {
    if (std::isfinite(value))
        AppendShortest(text, value, decimalSeparator);
    else if (std::isnan(value))
        text += std::signbit(value) ? "-nan" : "nan";
    else
        text += value < 0 ? "-inf" : "inf";
}

} // namespace

std::string ScenarioText(const ScenarioTable& table, ScenarioCell cell, char decimalSeparator,
                         char fieldSeparator) {
    // The corner names what the cells hold; the plain values keep the bare
    // "Hinta" that kelvaro --scenario has always written.
    std::string text = cell == ScenarioCell::Value    ? "Hinta"
                       : cell == ScenarioCell::Change ? "Hinta (muutos)"
                                                      : "Hinta (muutos %)";
    for (const double date : table.Dates) text += fieldSeparator + SerialDateText(date);
    text += "\r\n";
    for (std::size_t r = 0; r < table.Prices.size(); ++r) {
        AppendShortest(text, table.Prices[r], decimalSeparator);
        for (std::size_t c = 0; c < table.Days.size(); ++c) {
            text += fieldSeparator;
            if (const std::optional<double> v = ScenarioCellValue(table, r, c, cell))
                AppendCell(text, *v, decimalSeparator);
        }
        text += "\r\n";
    }
    return text;
}

std::string SerialDateText(double serial) {
    const CivilDate date = CivilOfSerial(static_cast<int64_t>(std::floor(serial)));
    const unsigned month = date.Month, day = date.Day;
    std::string text(std::to_string(date.Year));
    text += '-';
    text += static_cast<char>('0' + month / 10);
    text += static_cast<char>('0' + month % 10);
    text += '-';
    text += static_cast<char>('0' + day / 10);
    text += static_cast<char>('0' + day % 10);
    return text;
}

} // namespace kelvaro

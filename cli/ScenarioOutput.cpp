#include "ScenarioOutput.h"

#include "Calendar.h"
#include "ChartFile.h"
#include "Conversions.h"
#include "Dates.h"
#include "NumberText.h"
#include "Options.h"
#include "ScenarioText.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace kelvaro {

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> items;
    std::size_t from = 0;
    for (;;) {
        const std::size_t cut = text.find(separator, from);
        items.push_back(text.substr(from, cut - from));
        if (cut == std::string::npos) return items;
        from = cut + 1;
    }
}

bool IsFloat(const std::string& text, char separator) {
    try {
        StrToFloat(text, separator);
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

// Prices between ';' (each with a decimal point or comma), or else between
// ','. A list that reads both as one price with a decimal comma and as
// prices between commas ("15,5") is refused with the two ways to write it.
std::vector<double> ReadPrices(const std::string& text) {
    const bool semicolons = text.find(';') != std::string::npos;
    const std::vector<std::string> items = Split(text, semicolons ? ';' : ',');
    if (!semicolons && items.size() > 1 && IsFloat(text, ',') &&
        std::all_of(items.begin(), items.end(),
                    [](const std::string& item) { return IsFloat(item, '.'); })) {
        std::string several = text, one = text;
        std::replace(several.begin(), several.end(), ',', ';');
        std::replace(one.begin(), one.end(), ',', '.');
        ThrowBadValue("--scenario-prices", text,
                      "kaksiselitteinen: kirjoita " + Quoted(several) + " kahdeksi hinnaksi tai " +
                          Quoted(one) + " yhdeksi");
    }
    std::vector<double> prices;
    for (const std::string& item : items) {
        try {
            const double price = static_cast<double>(StrToFloatPointOrComma(item));
            if (!(price > 0))
                ThrowBadValue("--scenario-prices", item, "hinnan on oltava positiivinen");
            prices.push_back(price);
        } catch (const EConvertError&) {
            ThrowBadValue("--scenario-prices", item,
                          "hinnat muodossa 12,15.5,18 tai \"12;15,5;18\"");
        }
    }
    return prices;
}

std::vector<int32_t> ReadDays(const CGrid& grid, const std::string& text) {
    std::vector<int32_t> days;
    for (const std::string& item : Split(text, ',')) {
        const std::optional<DateTimeFields> date = ParseDateTimeFields(item, false);
        const int year = date ? date->Year : 0, month = date ? date->Month : 0,
                  day = date ? date->Day : 0;
        const bool ok =
            date && std::chrono::year_month_day(std::chrono::year(year),
                                                std::chrono::month(static_cast<unsigned>(month)),
                                                std::chrono::day(static_cast<unsigned>(day)))
                        .ok();
        if (!ok) ThrowBadValue("--scenario-dates", item, "päivämäärä muodossa YYYY-MM-DD");
        const int32_t serial =
            SerialOfDate(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
        if (DayOfWeekOfSerial(serial) >= 2 && DayOfWeekOfSerial(serial) <= 6 &&
            !IsTradingDay(grid.Closures, serial))
            throw InputError("päivä " + item +
                             " on pörssin vapaapäivä eikä hilan kaupankäyntipäivä");
        const std::optional<int32_t> index = TradingDayOfDate(
            grid, SerialOfDate(year, static_cast<unsigned>(month), static_cast<unsigned>(day)));
        if (!index)
            throw InputError("päivä " + item + " ei ole hilan kaupankäyntipäivä (" +
                             SerialDateText(grid.DayDates.front()) + " – " +
                             SerialDateText(grid.DayDates.back()) + ", ma–pe)");
        days.push_back(*index);
    }
    return days;
}

} // namespace

ScenarioTable ScenarioFromOptions(const CGrid& grid, const std::string* pricesText,
                                  const std::string* datesText, double reference) {
    const std::vector<double> prices =
        pricesText ? ReadPrices(*pricesText) : DefaultScenarioPrices(reference);
    const std::vector<int32_t> days =
        datesText ? ReadDays(grid, *datesText) : DefaultScenarioDays(grid);
    return ComputeScenario(grid, prices, days, reference);
}

std::string ScenarioJson(const ScenarioTable& table) {
    std::string json = "\"Scenario\": {\n    \"Prices\": [";
    const auto list = [&json](const auto& items, auto append) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i > 0) json += ", ";
            append(items[i]);
        }
    };
    const auto number = [&json](double v) { AppendShortest(json, v); };
    list(table.Prices, number);
    json += "],\n    \"Dates\": [";
    list(table.Dates, number);
    json += "],\n    \"Days\": [";
    list(table.Days, [&json](int32_t d) { json += std::to_string(d); });
    json += "],\n    \"Values\": [";
    for (std::size_t r = 0; r < table.Values.size(); ++r) {
        json += r > 0 ? ",\n      [" : "\n      [";
        list(table.Values[r], [&json](const std::optional<double>& v) {
            if (v)
                AppendShortest(json, *v);
            else
                json += "null";
        });
        json += "]";
    }
    json += "\n    ]\n  }";
    return json;
}

SaveStatus WriteChart(const CGrid& grid, std::optional<double> share, const std::string& path,
                      ChartFormat format) {
    const std::string bytes = RenderChartFile(grid, share, format);
    if (bytes.empty()) return SaveStatus::WriteFailed;
    return SaveFile(path, bytes);
}

} // namespace kelvaro

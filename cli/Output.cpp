#include "Output.h"

#include "NumberText.h"
#include "PeopleText.h"
#include "ScenarioText.h"
#include "ShareOutput.h"

#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kelvaro {

std::string DoubleText(double value) {
    std::string text;
    AppendShortest(text, value);
    return text;
}

std::string JsonText(const CGrid& grid) {
    std::string json = "{\n";
    const auto integer = [&json](std::string_view name, std::int32_t value) {
        json += "  \"" + std::string(name) + "\": " + std::to_string(value) + ",\n";
    };
    const auto real = [&json](std::string_view name, double value) {
        json += "  \"" + std::string(name) + "\": ";
        AppendShortest(json, value);
        json += ",\n";
    };
    const auto array = [&json](std::string_view name, const std::vector<double>& values) {
        json += "  \"" + std::string(name) + "\": [";
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i > 0) json += ", ";
            AppendShortest(json, values[i]);
        }
        json += "]";
    };
    integer("DayCount", grid.DayCount);
    integer("TotalSteps", grid.TotalSteps);
    integer("StepsPerYear", grid.StepsPerYear);
    integer("StepsPerDay", grid.StepsPerDay);
    integer("ClosedSteps", grid.ClosedSteps);
    integer("WeekendDaySteps", grid.WeekendDaySteps);
    integer("DividendDay", grid.Warrant.DividendDay);
    // Only with further dividends: the day of each, the form's one first.
    if (!grid.Warrant.MoreDividends.empty()) {
        json += "  \"DividendDays\": [" + std::to_string(grid.Warrant.DividendDay);
        for (const std::int32_t day : grid.Warrant.MoreDividendDays)
            json += ", " + std::to_string(day);
        json += "],\n";
    }
    // Only with closures on, so that the JSON without them stays as it was.
    if (!grid.Closures.empty()) {
        json += "  \"ClosureDays\": [";
        bool first = true;
        for (const int32_t day : grid.Closures)
            if (day >= std::trunc(grid.ValuationTime) && day <= std::trunc(grid.Warrant.Expiry)) {
                json += first ? "\"" : ", \"";
                json += SerialDateText(day) + "\"";
                first = false;
            }
        json += "],\n";
    }
    integer("NodeCount", grid.NodeCount);
    real("PriceMin", grid.PriceMin);
    real("PriceMax", grid.PriceMax);
    real("PUp", grid.PUp);
    real("PMid", grid.PMid);
    real("PDown", grid.PDown);
    real("GrowthPerStep", grid.GrowthPerStep);
    real("ResidualValue", grid.Warrant.ResidualValue);
    array("Prices", grid.Prices);
    json += ",\n";
    array("Values", grid.Values);
    json += "\n}\n";
    return json;
}

} // namespace kelvaro

#include "BatchOutput.h"

#include "NumberText.h"

#include "Conversions.h"
#include "Csv.h"
#include "ShareOutput.h"
#include "Utf8Text.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

namespace kelvaro {

namespace {

// Without the two-space indentation of a pretty-printed member.
std::string_view Member(const std::string& json) {
    return Trim(json);
}

} // namespace

std::string BatchOutput::Header() const {
    if (!s_.Csv) return {};
    std::vector<std::string> names{"Line"};
    names.insert(names.end(), s_.Columns.begin(), s_.Columns.end());
    names.insert(names.end(), {"Status", "Error"});
    for (const auto& [key, value] : FigureFields(CShareFigures{}))
        names.push_back("AtShare." + std::string(key));
    for (const char* key : {"Volatility", "Valuations", "Price", "Outcome", "Cause"})
        names.push_back(std::string("ImpliedVolatility.") + key);
    std::string text;
    for (const std::string& name : names) AppendCsvCell(text, name, s_.Separator);
    text.back() = '\n';
    return text;
}

std::string BatchOutput::Format(const ListRow& row, const WarrantRun& run) const {
    return s_.Csv ? Csv(row, run) : Json(row, run);
}

std::string BatchOutput::Json(const ListRow& row, const WarrantRun& run) const {
    std::string json = "{\"Line\": " + std::to_string(row.Line) + ", \"Inputs\": {";
    for (std::size_t i = 0; i < std::min(row.Fields.size(), s_.Columns.size()); ++i) {
        if (i > 0) json += ", ";
        AppendJsonString(json, s_.Columns[i]);
        json += ": ";
        AppendJsonString(json, row.Fields[i]);
    }
    json += "}, \"Status\": " + std::to_string(run.Status);
    if (run.Status != kValued) {
        json += ", \"Error\": ";
        AppendJsonString(json, VisibleText(run.Error));
    }
    if (run.HasVolatility())
        json.append(", ").append(Member(VolatilityJson(*run.Solved, run.Price)));
    else if (run.Solved)
        json.append(", ").append(
            Member(UnsolvedVolatilityJson(*run.Solved, run.Price, run.VolatilityCause)));
    if (run.Figures) json.append(", ").append(Member(FiguresJson(*run.Figures)));
    return json + "}\n";
}

std::string BatchOutput::Csv(const ListRow& row, const WarrantRun& run) const {
    std::string text;
    const auto cell = [&](std::string_view value) { AppendCsvCell(text, value, s_.Separator); };
    cell(std::to_string(row.Line));
    for (std::size_t i = 0; i < s_.Columns.size(); ++i)
        cell(i < row.Fields.size() ? OneLineText(row.Fields[i]) : std::string());
    cell(std::to_string(run.Status));
    cell(VisibleText(run.Error));
    const auto number = [&](std::optional<double> value) {
        std::string digits;
        if (value && std::isfinite(*value)) AppendShortest(digits, *value);
        cell(digits);
    };
    for (const auto& [key, value] : FigureFields(run.Figures.value_or(CShareFigures{})))
        number(run.Figures ? value : std::nullopt);
    number(run.HasVolatility() ? std::optional(run.Solved->VolatilityPercent) : std::nullopt);
    number(run.Solved ? std::optional<double>(run.Solved->Valuations) : std::nullopt);
    number(run.Solved ? std::optional(run.Price) : std::nullopt);
    cell(run.Solved ? VolatilityOutcomeName(run.Solved->Outcome) : std::string_view());
    cell(run.VolatilityCause);
    text.back() = '\n';
    return text;
}

} // namespace kelvaro

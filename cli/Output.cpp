#include "Output.h"

#include "NumberText.h"
#include "PeopleText.h"
#include "ShareOutput.h"

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

std::string OffLatticeMessage(const CGrid& grid, double price, char separator) {
    // The record's range, as --json prints it and --value-at accepts it.
    const bool built = !grid.Prices.empty();
    const auto number = [separator](double x) { return PeopleNumber(x, -1, separator); };
    return "hinta " + number(price) + " on hilan hinta-alueen ulkopuolella (" +
           (built ? number(grid.PriceMin) : std::string()) + " – " +
           (built ? number(grid.PriceMax) : std::string()) + ")";
}

std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(i);
    if (lead < 0x80) return 1;
    // The second byte's range excludes overlong forms, surrogates and > U+10FFFF.
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - i < length || byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    return length;
}

std::string VisibleText(std::string_view text) {
    std::string visible;
    visible.reserve(text.size());
    const auto hex = [&](unsigned char c) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        visible.append({'\\', 'x', kHex[c >> 4], kHex[c & 0xF]});
    };
    const auto character = [&](std::string_view c) {
        if (IsControl(c[0]))
            hex(static_cast<unsigned char>(c[0]));
        else
            visible.append(c);
    };
    ForEachUtf8(text, character, hex);
    return visible;
}

} // namespace kelvaro

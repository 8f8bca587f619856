#include "ChartFormat.h"

#include <algorithm>

namespace kelvaro {

std::optional<ChartFormat> ChartFormatOfName(std::string_view name) {
    const auto endsWith = [name](std::string_view extension) {
        if (name.size() < extension.size()) return false;
        const std::string_view end = name.substr(name.size() - extension.size());
        return std::equal(end.begin(), end.end(), extension.begin(), [](char a, char b) {
            return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b;
        });
    };
    if (endsWith(".png")) return ChartFormat::Png;
    if (endsWith(".svg")) return ChartFormat::Svg;
    return std::nullopt;
}

} // namespace kelvaro

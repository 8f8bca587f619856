// The picture formats a chart is saved in, chosen by the file's extension
// (the window's "Tallenna kuva…" and kelvaro --chart alike).
#pragma once

#include <optional>
#include <string_view>

namespace kelvaro {

enum class ChartFormat { Png, Svg };

// ".png" or ".svg" at the end of the name, in any case; nullopt otherwise.
std::optional<ChartFormat> ChartFormatOfName(std::string_view name);

} // namespace kelvaro

// The value chart as a picture file without a window (kelvaro --chart). No
// Qt in this interface: the command line hands over a grid and gets bytes.
#pragma once

#include "ChartFormat.h"
#include "Grid.h"

#include <optional>
#include <string>

namespace kelvaro {

// The default chart of a rolled-back grid (the days of DefaultChartDays, the
// markers, `share` marked when given) drawn at ValueChart::kImageSize as the
// bytes of a file in `format`; empty if it could not be drawn. Creates the Qt
// application (offscreen unless QT_QPA_PLATFORM says otherwise) when none
// exists.
std::string RenderChartFile(const CGrid& grid, std::optional<double> share, ChartFormat format);

} // namespace kelvaro

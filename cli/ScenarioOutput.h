// kelvaro's scenario table (--scenario) and chart picture (--chart).
#pragma once

#include "ChartFormat.h"
#include "Grid.h"
#include "Save.h"
#include "Scenario.h"

#include <optional>
#include <string>

namespace kelvaro {

// The table of a rolled-back grid. `pricesText` lists the rows ("15,16.5,18",
// or with ';' between prices, decimal commas allowed: "15;16,5;18"; "15,5",
// which reads both ways, is refused), by
// default 9 prices from -20 % to +20 % of `reference`; `datesText` lists the
// columns as "YYYY-MM-DD,…", each a trading day of the grid, by default the
// ladder of DefaultScenarioDays. Throws InputError naming the option and its text.
ScenarioTable ScenarioFromOptions(const CGrid& grid, const std::string* pricesText,
                                  const std::string* datesText, double reference);

// The "Scenario" member of --json: Prices, Dates (serials), Days and Values
// (null off the lattice), every double in its shortest round-trip text.
std::string ScenarioJson(const ScenarioTable& table);

// Renders the chart without a display at 1200 x 800 and saves it in the
// format given (SaveFile). Creates the Qt application (offscreen unless
// QT_QPA_PLATFORM says otherwise) when none exists. A chart that cannot be
// drawn is WriteFailed.
SaveStatus WriteChart(const CGrid& grid, std::optional<double> share, const std::string& path,
                      ChartFormat format);

} // namespace kelvaro

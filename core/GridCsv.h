// The value grid at full precision, for pandas and spreadsheets: one row per
// node (its price, the present value, then each trading day's close), every
// number the shortest text that reads back to the same double.
#pragma once

#include "Grid.h"

#include <functional>
#include <string_view>

namespace kelvaro {

// Hands the CSV to `sink` a block at a time: a header "Hinta,Nyt," and each
// trading day's date as YYYY-MM-DD, then NodeCount lines; ',' between
// fields, a point in numbers, '\n' after every line. Only the header while
// nothing is allocated. False as soon as the sink returns false.
bool ProduceGridCsv(const CGrid& grid, const std::function<bool(std::string_view)>& sink);

} // namespace kelvaro

// The listing the Calculate command shows.
#pragma once

#include "Grid.h"

#include <string>

namespace kelvaro {

// The Calculate command's listing: one "%4d %9.3f %9.3f" line per node,
// lines joined by '\n' (no line end after the last).
std::string ListingText(const CGrid& grid);

} // namespace kelvaro

// What kelvaro prints besides the shared texts: the record as JSON and
// numbers that read back to the same bits.
#pragma once

#include "Grid.h"

#include <string>

namespace kelvaro {

// Shortest text that reads back to the same double; null for NaN or infinity.
std::string DoubleText(double value);

// --json: the record's counts and numbers and the arrays Prices and Values,
// "{\n...\n}\n".
std::string JsonText(const CGrid& grid);

} // namespace kelvaro

// What kelvaro prints besides the shared texts: the record as JSON, numbers
// that read back to the same bits, and the price outside the lattice.
#pragma once

#include "Grid.h"
#include "Utf8.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvaro {

// Shortest text that reads back to the same double; null for NaN or infinity.
std::string DoubleText(double value);

// --json: the record's counts and numbers and the arrays Prices and Values,
// "{\n...\n}\n".
std::string JsonText(const CGrid& grid);

// Why a price has no value: it lies outside the lattice's prices. A message
// for people: the numbers with `separator`, each reading back to its double.
std::string OffLatticeMessage(const CGrid& grid, double price, char separator);

} // namespace kelvaro

// Whether a valuation's arrays fit in the memory this process may use,
// checked before anything is allocated; shared by the window and kelvaro.
#pragma once

#include "Grid.h"

#include <string>

namespace kelvaro {

// The refusal for arrays of `needed` bytes where `available` bytes are
// usable, sizes in gigabytes (2^30 bytes) with two decimals and `separator`
// ("Hilan taulukot tarvitsevat 3,91 Gt muistia, mutta käytettävissä on
// 1,00 Gt"); "" when they fit. UTF-8.
std::string MemoryRefusalText(double needed, double available, char separator);

// MemoryRefusalText for a build of `inputs` with its day rows or without,
// against UsableMemoryBytes(); "" also for a refused date range. Throws
// EngineError for inputs BuildLattice refuses.
std::string MemoryRefusal(const CGrid& inputs, bool withRows, char separator);

} // namespace kelvaro

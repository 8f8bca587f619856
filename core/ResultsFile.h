// The results file the Calculate command saves, shared by the window and kelvaro.
#pragma once

#include "Grid.h"
#include "Save.h"

#include <string>

namespace kelvaro {

// The results file, byte for byte: 8-bit, TAB-separated, CR LF after every
// line; only "Share\tPresent\t" while nothing is allocated. Saved by
// SaveFile (Save.h), block by block as the lines are made.
SaveStatus WriteResultsFile(const std::string& path, const CGrid& grid, char separator);

} // namespace kelvaro

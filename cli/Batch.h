// kelvaro --batch: one warrant per CSV row, valued on a pool of threads
// (ListValuation) and written in input order as JSON Lines (or CSV),
// streaming: only the rows in flight are held in memory.
#pragma once

#include "BatchOptions.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace kelvaro {

// Runs a batch command line: reads the file named by --batch, or standard
// input for "-"; shows progress on standard error when `err` is std::cerr
// and that is a terminal. Exit 0 when every row succeeded, 5 when some
// failed (their errors are in the output), 2 for a bad option, an unreadable
// file or header, 4 when `out` cannot be written.
int RunBatchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The same with the CSV read from `in` (the --batch value is not opened).
// `totalRows` (or -1 when unknown) is only shown with `progress`.
int RunBatch(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
             std::ostream& err, bool progress = false, int64_t totalRows = -1);

} // namespace kelvaro

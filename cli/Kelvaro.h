// kelvaro: one valuation per call, with the window's engine, conversions and
// file format, for scripts and machines without a display.
#pragma once

#include "WarrantValuation.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelvaro {

// Exit statuses, distinct per kind of failure.
enum KelvaroExit : int {
    kExitOk = kValued,
    kExitUsage = kInputRefused, // bad option or value, rejected date range, price off the lattice
    kExitEngine = kValuationFailed, // engine error or anything unexpected (out of memory)
    kExitFile = 4,                  // results file or standard output not writable
    kExitSomeRowsFailed = 5,        // --batch: some rows failed, each with its error in the output
};

// Runs one command line (without the program name). Everything meant for
// standard output is held back until the command has succeeded, so on any
// failure `out` receives nothing and `err` one message. Never exits.
int RunKelvaro(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace kelvaro

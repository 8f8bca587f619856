// kelvaro: one valuation per call, with the window's engine, conversions and
// file format, for scripts and machines without a display.
#pragma once

#include "Figures.h"
#include "ImpliedVolatility.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Exit statuses, distinct per kind of failure.
enum KelvaroExit : int {
    kExitOk = 0,
    kExitUsage = 2,          // bad option or value, rejected date range, price off the lattice
    kExitEngine = 3,         // engine error or anything unexpected (out of memory)
    kExitFile = 4,           // results file or standard output not writable
    kExitSomeRowsFailed = 5, // --batch: some rows failed, each with its error in the output
};

// Runs one command line (without the program name). Everything meant for
// standard output is held back until the command has succeeded, so on any
// failure `out` receives nothing and `err` one message. Never exits.
int RunKelvaro(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// One warrant for `kelvaro --batch`: the same reading, checks, messages and
// statuses as RunKelvaro with these options, valued without keeping day rows.
// With --share it holds the figures (and with --price the solved volatility)
// that --share --json prints.
struct ShareRun {
    int Status = kExitOk;
    std::string Error; // what RunKelvaro prints after "kelvaro: "
    std::optional<CShareFigures> Figures;
    std::optional<CImpliedVolatility> Solved;
    double Price = 0; // --price
};
ShareRun RunShare(const std::vector<std::string>& args);

// The options of a command line by name ("--strike") with their texts ("" for
// a flag), read as RunKelvaro reads them. On a usage error returns false with
// its message.
bool ReadOptions(const std::vector<std::string>& args,
                 std::vector<std::pair<std::string, std::string>>& options, std::string& message);

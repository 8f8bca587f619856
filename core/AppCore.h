// Window-independent pieces of the commands, shared by the window and kelvaro.
#pragma once

#include "Grid.h"
#include "Refusals.h"
#include "Save.h"

#include <string>
#include <string_view>

// Scalings of the inputs, at extended precision and rounded to double once.
inline double FromPercent(long double percent) {
    return static_cast<double>(percent * 0.01);
}
inline double WeekendWeightFromDays(long double days) {
    return static_cast<double>(days * 0.5);
}

// The Calculate command's listing: one "%4d %9.3f %9.3f" line per node,
// lines joined by '\n' (no line end after the last).
std::string ListingText(const CGrid& grid);

// Latin-1 bytes (numbers with a regional separator) as UTF-8.
std::string Latin1ToUtf8(std::string_view latin1);

// A number in text for people (messages, progress), UTF-8, with `separator`
// (a Latin-1 byte) as its decimal separator: `decimals` fixed decimals, or
// for decimals < 0 the shortest text that reads back to the same double, so
// that a limit shown can be typed back exactly.
std::string PeopleNumber(double value, int decimals, char separator);

// The verdict of the time-step check on PMid, the number 1 - PMid appended
// in the general format (precision 4, digits 3) with the given separator.
// UTF-8.
std::string TimeStepVerdict(double pMid, char separator);

// The results file, byte for byte: 8-bit, TAB-separated, CR LF after every
// line; only "Share\tPresent\t" while nothing is allocated. Saved by
// SaveFile (Save.h), block by block as the lines are made.
SaveStatus WriteResultsFile(const std::string& path, const CGrid& grid, char separator);

// "1 arvostus", "2 arvostusta": a count with the Finnish singular for one and
// the partitive otherwise. UTF-8.
std::string Counted(long long count, std::string_view one, std::string_view many);

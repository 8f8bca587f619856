// Window-independent pieces of the commands, shared by the window and kelvaro.
#pragma once

#include "Grid.h"

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

// Which command a refused date range stops: the check has its own heading.
enum class RefusedCommand { Calculate, Check };

// Why the command cannot use the grid's date range, or "" when it can. UTF-8.
// The window's box shows the heading ("Parametrit virheellisiä, Laskenta
// peruttu" or "Parametrit virheellisiä.") and the cause on a line of its own;
// kelvaro prints them on one line ("...peruttu: cause", "...virheellisiä. cause").
enum class RefusalForm { Box, Line };
std::string DateRangeRefusalText(const CGrid& grid, RefusedCommand command, RefusalForm form);

// The verdict of the time-step check on PMid, the number 1 - PMid appended
// in the general format (precision 4, digits 3) with the given separator.
// UTF-8.
std::string TimeStepVerdict(double pMid, char separator);

enum class SaveStatus { Ok, OpenFailed, WriteFailed };

// The results file, byte for byte: 8-bit, TAB-separated, CR LF after every
// line; only "Share\tPresent\t" while nothing is allocated. Written to a new
// file in the same folder that replaces the target by rename once complete,
// so a failed or concurrent save never leaves a partial or mixed file; an
// existing target keeps its permission bits, a symbolic link stays and its
// target is replaced. A device or pipe (not a regular file) is written in
// place. OpenFailed: the folder takes no new file, the path is a folder, the
// existing file is not writable, or the name is not UTF-8 (Qt cannot keep it).
SaveStatus WriteResultsFile(const std::string& path, const CGrid& grid, char separator);

// "1 arvostus", "2 arvostusta": a count with the Finnish singular for one and
// the partitive otherwise. UTF-8.
std::string Counted(long long count, std::string_view one, std::string_view many);

// The exchange's closures as the inputs give them: the built-in calendar by
// name and a file of extra closure days, expanded into the record's list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvaro {

// The built-in calendars by name; "" is none.
inline constexpr const char* kHelsinkiHolidays = "helsinki";

// The days of a closures file: one YYYY-MM-DD a line, '#' starts a comment,
// blank lines are skipped. Throws InputError naming the file and the number
// of the first bad line, or a file that cannot be read.
std::vector<int32_t> ReadClosuresFile(const std::string& path);

// The record's closure list (ascending weekday serials) for a valuation from
// `valuationTime` to `expiry`: the named calendar ("" or "helsinki") for the
// years around them, and the file's days (none for ""). Throws InputError for
// an unknown calendar or a bad file.
std::vector<int32_t> ClosureDays(const std::string& holidays, const std::string& closuresFile,
                                 double valuationTime, double expiry);

} // namespace kelvaro

// The exchange's built-in holiday calendar: the weekdays on which the
// Helsinki exchange is closed, computed for any year (Easter included).
#pragma once

#include "Calendar.h"

#include <cstdint>
#include <vector>

namespace kelvaro {

// Easter Sunday of a Gregorian year.
CivilDate EasterSunday(int64_t year);

// The whole serials of the Helsinki exchange's closures that fall on Monday
// to Friday in the years first ... last, ascending: New Year's Day,
// Epiphany, Good Friday, Easter Monday, Labour Day, Ascension Day,
// Midsummer Eve, Independence Day, 24-26 December and New Year's Eve. A
// holiday on a weekend is not moved to a weekday.
std::vector<int32_t> HelsinkiClosures(int64_t firstYear, int64_t lastYear);

// Sorts `closures`, drops repeats and every Saturday and Sunday: what the
// record's Closures holds.
void NormalizeClosures(std::vector<int32_t>& closures);

} // namespace kelvaro

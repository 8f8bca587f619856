// Text for people: numbers with the regional separator, counts with the
// Finnish singular or partitive, Latin-1 bytes as UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace kelvaro {

// Latin-1 bytes (numbers with a regional separator) as UTF-8.
std::string Latin1ToUtf8(std::string_view latin1);

// A number in text for people (messages, progress), UTF-8, with `separator`
// (a Latin-1 byte) as its decimal separator: `decimals` fixed decimals, or
// for decimals < 0 the shortest text that reads back to the same double, so
// that a limit shown can be typed back exactly.
std::string PeopleNumber(double value, int decimals, char separator);

// "1 arvostus", "2 arvostusta": a count with the Finnish singular for one and
// the partitive otherwise. UTF-8.
std::string Counted(long long count, std::string_view one, std::string_view many);

} // namespace kelvaro

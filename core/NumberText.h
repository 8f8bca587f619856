// Numbers as text that reads back to the same double.
#pragma once

#include <string>

namespace kelvaro {

// Appends the shortest text that reads back to the same double ("0.1",
// "1e+308"), with `separator` for the decimal point; NaN and infinity as
// null (JSON has no other spelling for them).
void AppendShortest(std::string& out, double value, char separator = '.');

} // namespace kelvaro

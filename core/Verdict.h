// The time-step check's verdict.
#pragma once

#include <string>

namespace kelvaro {

// The verdict of the time-step check on PMid, the number 1 - PMid appended
// in the general format (precision 4, digits 3) with the given separator.
// UTF-8.
std::string TimeStepVerdict(double pMid, char separator);

} // namespace kelvaro

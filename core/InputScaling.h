// Scalings of the inputs as typed (per cent, weekend days) to the record's.
#pragma once

namespace kelvaro {

// At extended precision and rounded to double once.
inline double FromPercent(long double percent) {
    return static_cast<double>(percent * 0.01);
}
inline double WeekendWeightFromDays(long double days) {
    return static_cast<double>(days * 0.5);
}

} // namespace kelvaro

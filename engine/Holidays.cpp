#include "Holidays.h"

#include <algorithm>

namespace kelvaro {

namespace {

// Monday = 0 ... Sunday = 6 of a whole serial (serial 0 was a Saturday).
int64_t WeekdayOfDay(int64_t serial) {
    const int64_t r = (serial + 5) % 7;
    return r < 0 ? r + 7 : r;
}

} // namespace

// The "anonymous Gregorian algorithm" (Meeus/Jones/Butcher), as given in
// J. Meeus, Astronomical Algorithms, 2nd ed. (1998), ch. 8: valid for every
// year of the Gregorian calendar, with no table. Floored division keeps it
// exact for the proleptic years before 1583 too.
CivilDate EasterSunday(int64_t year) {
    const auto fdiv = [](int64_t a, int64_t b) { return (a >= 0 ? a : a - b + 1) / b; };
    const auto fmod = [&](int64_t a, int64_t b) { return a - fdiv(a, b) * b; };
    const int64_t a = fmod(year, 19);
    const int64_t b = fdiv(year, 100);
    const int64_t c = fmod(year, 100);
    const int64_t d = b / 4, e = b % 4;
    const int64_t f = (b + 8) / 25;
    const int64_t g = (b - f + 1) / 3;
    const int64_t h = (19 * a + b - d - g + 15) % 30;
    const int64_t i = c / 4, k = c % 4;
    const int64_t l = (32 + 2 * e + 2 * i - h - k) % 7;
    const int64_t m = (a + 11 * h + 22 * l) / 451;
    const int64_t month = (h + l - 7 * m + 114) / 31;
    const int64_t day = (h + l - 7 * m + 114) % 31 + 1;
    return CivilDate{year, static_cast<unsigned>(month), static_cast<unsigned>(day)};
}

std::vector<int32_t> HelsinkiClosures(int64_t firstYear, int64_t lastYear) {
    std::vector<int32_t> days;
    for (int64_t year = firstYear; year <= lastYear; ++year) {
        const CivilDate easter = EasterSunday(year);
        const int64_t easterDay = SerialOfCivil(year, easter.Month, easter.Day);
        // The Friday from 19 to 25 June.
        const int64_t june19 = SerialOfCivil(year, 6, 19);
        const int64_t midsummerEve = june19 + (4 - WeekdayOfDay(june19) + 7) % 7;
        const int64_t all[] = {SerialOfCivil(year, 1, 1),
                               SerialOfCivil(year, 1, 6),
                               easterDay - 2,
                               easterDay + 1,
                               SerialOfCivil(year, 5, 1),
                               easterDay + 39,
                               midsummerEve,
                               SerialOfCivil(year, 12, 6),
                               SerialOfCivil(year, 12, 24),
                               SerialOfCivil(year, 12, 25),
                               SerialOfCivil(year, 12, 26),
                               SerialOfCivil(year, 12, 31)};
        for (const int64_t day : all)
            if (WeekdayOfDay(day) < 5) days.push_back(static_cast<int32_t>(day));
    }
    NormalizeClosures(days);
    return days;
}

void NormalizeClosures(std::vector<int32_t>& closures) {
    closures.erase(std::remove_if(closures.begin(), closures.end(),
                                  [](int32_t day) { return WeekdayOfDay(day) >= 5; }),
                   closures.end());
    std::sort(closures.begin(), closures.end());
    closures.erase(std::unique(closures.begin(), closures.end()), closures.end());
}

} // namespace kelvaro

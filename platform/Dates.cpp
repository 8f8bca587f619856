// Date-time serials: whole days since 30 December 1899 plus the time of day.
#include "Dates.h"

#include "Calendar.h"
#include "Conversions.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <string>

namespace kelvaro {

namespace {

constexpr double kMSecsPerDay = 86400000.0;

[[noreturn]] void ThrowBadDateTime(int year, int month, int day, int hour, int minute, int second,
                                   int msec) {
    const std::string shown = std::to_string(year) + "-" + std::to_string(month) + "-" +
                              std::to_string(day) + " " + std::to_string(hour) + ":" +
                              std::to_string(minute) + ":" + std::to_string(second) + "." +
                              std::to_string(msec);
    throw EConvertError("'" + shown + "' ei ole kelvollinen päivämäärä ja kellonaika", shown);
}

bool ReadDigits(std::string_view text, std::size_t from, std::size_t count, int& value) {
    const char* first = text.data() + from;
    const auto [end, ec] = std::from_chars(first, first + count, value);
    return ec == std::errc() && end == first + count &&
           std::all_of(first, first + count, [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
    namespace chrono = std::chrono;
    const chrono::year_month_day date{chrono::year{year},
                                      chrono::month{static_cast<unsigned>(month)},
                                      chrono::day{static_cast<unsigned>(day)}};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || !date.ok() ||
        hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        msec < 0 || msec > 999)
        ThrowBadDateTime(year, month, day, hour, minute, second, msec);

    const std::int64_t days =
        SerialOfCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    const double time = (((hour * 60 + minute) * 60 + second) * 1000 + msec) / kMSecsPerDay;
    // Before the epoch the whole part counts back while the time of day still
    // counts forward, so the time is subtracted.
    return days < 0 ? static_cast<double>(days) - time : static_cast<double>(days) + time;
}

double Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

std::optional<DateTimeFields> ParseDateTimeFields(std::string_view text, bool timeAllowed) {
    DateTimeFields f;
    const bool withTime = timeAllowed && text.size() == 16;
    if (!(text.size() == 10 || withTime) || text[4] != '-' || text[7] != '-' ||
        !ReadDigits(text, 0, 4, f.Year) || !ReadDigits(text, 5, 2, f.Month) ||
        !ReadDigits(text, 8, 2, f.Day))
        return std::nullopt;
    if (withTime) {
        if (text[10] != ' ' || text[13] != ':' || !ReadDigits(text, 11, 2, f.Hour) ||
            !ReadDigits(text, 14, 2, f.Minute))
            return std::nullopt;
        f.HasTime = true;
    }
    return f;
}

} // namespace kelvaro

// Date-time serials: days since 30 December 1899, the fraction the time of day.
#pragma once

#include <optional>
#include <string_view>

namespace kelvaro {

// Throws EConvertError for a date or time that does not exist.
double EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                      int msec = 0);
// Today's date at midnight, local time.
double Today();

// The numbers of "YYYY-MM-DD" or, where `timeAllowed`, "YYYY-MM-DD HH:MM":
// digits only, each field its full width. Whether the date exists is for
// the caller to check (EncodeDateTime).
struct DateTimeFields {
    int Year = 0, Month = 0, Day = 0;
    bool HasTime = false;
    int Hour = 0, Minute = 0; // set when HasTime
};
std::optional<DateTimeFields> ParseDateTimeFields(std::string_view text, bool timeAllowed);

} // namespace kelvaro

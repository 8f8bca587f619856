// Date-time serials: days since 30 December 1899, the fraction the time of day.
#pragma once

// Throws EConvertError for a date or time that does not exist.
double EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                      int msec = 0);
// Today's date at midnight, local time.
double Today();

// Date-time serials, weekdays and the bridge to Qt's date-times.
#include "Conversions.h"
#include "Dates.h"
#include "Calendar.h"
#include "Grid.h"
#include "QtBridge.h"

#include <QDate>

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <tuple>

using namespace kelvaro;

TEST(DateSerial, WorkedMomentsBothWays)
{
    struct Row { int y, mo, d, h, mi; double serial; };
    const Row rows[] = {
        {1899, 12, 30, 0, 0, 0.0},
        {2006, 3, 1, 10, 0, 38777.41666666666},   // the valuation moment's default
        {2006, 4, 21, 18, 20, 38828.76388888889}, // the expiry's default
        {1899, 12, 29, 6, 0, -1.25}, // before the epoch the time still counts forward
    };
    for (const Row& r : rows) {
        const QDateTime moment(QDate(r.y, r.mo, r.d), QTime(r.h, r.mi));
        SCOPED_TRACE(moment.toString(Qt::ISODate).toStdString());
        EXPECT_NEAR(EncodeDateTime(r.y, r.mo, r.d, r.h, r.mi), r.serial, 1e-9);
        EXPECT_EQ(SerialToDateTime(r.serial), moment);
        EXPECT_EQ(DateTimeToSerial(moment), EncodeDateTime(r.y, r.mo, r.d, r.h, r.mi));
    }
    // A hair before midnight is midnight, not 23:59:59.999.
    EXPECT_EQ(SerialToDateTime(38777.99999999999), QDateTime(QDate(2006, 3, 2), QTime(0, 0)));
    // The fields are taken as they are, without a time zone conversion.
    EXPECT_EQ(DateTimeToSerial(QDateTime(QDate(2006, 3, 1), QTime(10, 0), Qt::UTC)),
              EncodeDateTime(2006, 3, 1, 10, 0));
    EXPECT_FALSE(SerialToDateTime(std::numeric_limits<double>::quiet_NaN()).isValid());
    EXPECT_THROW(DateTimeToSerial(QDateTime()), EConvertError);

    // Just outside each field's range: year, month, day, hour, millisecond.
    for (const auto& [y, mo, d, h, ms] : {std::array{0, 12, 31, 0, 0}, {10000, 1, 1, 0, 0},
                                          {2006, 13, 1, 0, 0}, {2006, 2, 29, 0, 0},
                                          {2006, 1, 1, 24, 0}, {2006, 1, 1, 0, 1000}})
        EXPECT_THROW(EncodeDateTime(y, mo, d, h, 0, 0, ms), EConvertError) << y << '-' << mo;
}

TEST(DayOfWeekOfSerial, SundayIsOneAndTheDayIsTruncated)
{
    struct Row { double serial; int expected; };
    const Row rows[] = {{0.99, 7}, {1.0, 1}, {-0.5, 7}, {-1.25, 6}};
    for (const Row& row : rows)
        EXPECT_EQ(DayOfWeekOfSerial(row.serial), row.expected) << row.serial;

    // Every 997th day from year 1 to 9999 against Qt's calendar, and back.
    for (double serial = -693593; serial <= 2958465; serial += 997) {
        const QDate date = SerialToDateTime(serial).date();
        ASSERT_EQ(EncodeDateTime(date.year(), date.month(), date.day()), serial);
        ASSERT_EQ(DayOfWeekOfSerial(serial), date.dayOfWeek() % 7 + 1) << serial;
    }
}

// The one YYYY-MM-DD reader: full-width digit fields only; whether the date
// exists is left to EncodeDateTime.
TEST(DateTimeFields, FullWidthDigitsOnly)
{
    struct Row { const char* text; bool timeAllowed; bool ok; int y = 0, mo = 0, d = 0, h = -1, mi = -1; };
    const Row rows[] = {
        {"2006-03-01", false, true, 2006, 3, 1, -1, -1},
        {"2006-03-01 10:05", true, true, 2006, 3, 1, 10, 5},
        {"2006-02-31", false, true, 2006, 2, 31, -1, -1}, // checked later
        {"2006-03-01 10:05", false, false},
        {"2006-3-01", true, false},      {"+006-03-01", true, false},
        {"2006-03-0a", true, false},     {"2006/03/01", true, false},
        {"2006-03-01T10:05", true, false}, {"2006-03-01 1:050", true, false},
        {"2006-03-01 10-05", true, false}, {"", true, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        const std::optional<DateTimeFields> f = ParseDateTimeFields(r.text, r.timeAllowed);
        ASSERT_EQ(f.has_value(), r.ok);
        if (!f) continue;
        EXPECT_EQ(std::tuple(f->Year, f->Month, f->Day, f->HasTime ? f->Hour : -1, f->HasTime ? f->Minute : -1),
                  std::tuple(r.y, r.mo, r.d, r.h, r.mi));
    }
}

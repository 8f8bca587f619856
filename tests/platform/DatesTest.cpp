// Date-time serials, weekdays and the bridge to Qt's date-times.
#include "Conversions.h"
#include "QtBridge.h"

#include <QDate>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(EncodeDateTime, SerialsOfKnownMoments)
{
    struct Row { int y, mo, d, h, mi, s, ms; double expected; };
    const Row rows[] = {
        {1899, 12, 30, 0, 0, 0, 0, 0.0},      {1899, 12, 31, 0, 0, 0, 0, 1.0},
        {1900, 1, 1, 12, 0, 0, 0, 2.5},       {2000, 2, 29, 0, 0, 0, 0, 36585.0},
        {2006, 3, 1, 10, 0, 0, 0, 38777.41666666666}, // the valuation moment's default
        {2006, 4, 21, 18, 20, 0, 0, 38828.76388888889}, // the expiry's default
        {2006, 3, 31, 18, 20, 0, 0, 38807.76388888889}, // the dividend date's default
        {1899, 12, 29, 6, 0, 0, 0, -1.25}, // before the epoch the time still counts forward
        {1, 1, 1, 0, 0, 0, 0, -693593.0},    {9999, 12, 31, 23, 59, 59, 999, 2958465.99999999},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.y << "-" << r.mo << "-" << r.d << " " << r.h << ":"
                                        << r.mi);
        EXPECT_NEAR(EncodeDateTime(r.y, r.mo, r.d, r.h, r.mi, r.s, r.ms), r.expected, 1e-8);
    }
    struct Bad { int y, mo, d, h, mi, s, ms; };
    const Bad bad[] = {
        {2006, 2, 29, 0, 0, 0, 0}, {2006, 13, 1, 0, 0, 0, 0}, {2006, 0, 1, 0, 0, 0, 0},
        {2006, 4, 31, 0, 0, 0, 0}, {0, 1, 1, 0, 0, 0, 0},     {10000, 1, 1, 0, 0, 0, 0},
        {2006, 1, 1, 24, 0, 0, 0}, {2006, 1, 1, 0, 60, 0, 0}, {2006, 1, 1, 0, 0, 60, 0},
        {2006, 1, 1, 0, 0, 0, 1000}, {2006, 1, 1, -1, 0, 0, 0}, {2006, 1, -1, 0, 0, 0, 0},
    };
    for (const Bad& b : bad)
        EXPECT_THROW(EncodeDateTime(b.y, b.mo, b.d, b.h, b.mi, b.s, b.ms), EConvertError)
            << b.y << "-" << b.mo << "-" << b.d << " " << b.h << ":" << b.mi << ":" << b.s;
}

TEST(DayOfWeek, SundayIsOneAndTheDayIsTruncated)
{
    struct Row { double serial; int expected; };
    const Row rows[] = {
        {0.0, 7}, {0.99, 7}, {1.0, 1}, {-1.0, 6}, {-1.25, 6}, {-7.0, 7}, {-0.5, 7},
        {38777.41666666666, 4}, // Wednesday 1 March 2006
        {38828.5, 6},           // Friday 21 April 2006
        {38831.76388888889, 2}, // the Monday after
    };
    for (const Row& row : rows)
        EXPECT_EQ(DayOfWeek(row.serial), row.expected) << row.serial;
    EXPECT_THROW(DayOfWeek(std::numeric_limits<double>::quiet_NaN()), EConvertError);
    EXPECT_THROW(DayOfWeek(std::numeric_limits<double>::infinity()), EConvertError);
}

TEST(QtBridge, DefaultPickerMomentsBothWays)
{
    struct Row { double serial; QDateTime moment; };
    const Row rows[] = {
        {38777.41666666666, QDateTime(QDate(2006, 3, 1), QTime(10, 0))},
        {38828.76388888889, QDateTime(QDate(2006, 4, 21), QTime(18, 20))},
        {-1.25, QDateTime(QDate(1899, 12, 29), QTime(6, 0))},
        {38777.99999999999, QDateTime(QDate(2006, 3, 2), QTime(0, 0))}, // rounds to midnight
        {-1.99999999999, QDateTime(QDate(1899, 12, 28), QTime(0, 0))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.moment.toString(Qt::ISODateWithMs).toStdString());
        EXPECT_EQ(SerialToDateTime(row.serial), row.moment);
        EXPECT_NEAR(DateTimeToSerial(row.moment), row.serial, 1e-9);
    }
    // The fields are taken as they are, without a time zone conversion.
    EXPECT_EQ(DateTimeToSerial(QDateTime(QDate(2006, 3, 1), QTime(10, 0), Qt::UTC)),
              EncodeDateTime(2006, 3, 1, 10, 0));
    EXPECT_FALSE(SerialToDateTime(std::numeric_limits<double>::quiet_NaN()).isValid());
    EXPECT_THROW(DateTimeToSerial(QDateTime()), EConvertError);
}

TEST(QtBridge, EveryMinuteOfADayRoundTrips)
{
    for (int minute = 0; minute < 24 * 60; ++minute) {
        const QDateTime moment(QDate(2006, 3, 1), QTime(minute / 60, minute % 60));
        const double serial = DateTimeToSerial(moment);
        ASSERT_EQ(serial, EncodeDateTime(2006, 3, 1, minute / 60, minute % 60)) << minute;
        ASSERT_EQ(SerialToDateTime(serial), moment) << minute;
    }
}

TEST(QtBridge, AgreesWithQtCalendarOverTheWholeRange)
{
    // Every 997th day from year 1 to 9999: the serial, the weekday and back.
    for (double serial = -693593; serial <= 2958465; serial += 997) {
        const QDate date = SerialToDateTime(serial).date();
        ASSERT_EQ(EncodeDateTime(date.year(), date.month(), date.day()), serial);
        ASSERT_EQ(DayOfWeek(serial), date.dayOfWeek() % 7 + 1) << serial;
    }
}

TEST(Today, IsTodaysDateAtMidnight)
{
    QDate before, after;
    double today;
    do { // retried if midnight passes in between
        before = QDate::currentDate();
        today = Today();
        after = QDate::currentDate();
    } while (before != after);
    EXPECT_EQ(today, std::trunc(today));
    EXPECT_EQ(SerialToDateTime(today), QDateTime(before, QTime(0, 0)));
}

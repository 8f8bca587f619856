#include "QtBridge.h"

#include "Conversions.h"

#include <QDate>
#include <QTime>

#include <cmath>

namespace {

// Julian day number of 30 December 1899, serial 0.
constexpr qint64 kJulianDayOfEpoch = 2415019;
constexpr qint64 kMSecsPerDay = 86400000;

} // namespace

double DateTimeToSerial(const QDateTime& dateTime) {
    // The date and time as shown, whatever its time zone setting: no zone conversion.
    const QDate date = dateTime.date();
    if (!date.isValid())
        throw EConvertError("Päivämäärä puuttuu tai on virheellinen", std::string());
    const qint64 days = date.toJulianDay() - kJulianDayOfEpoch;
    const QTime time = dateTime.time();
    const double fraction =
        (time.isValid() ? time.msecsSinceStartOfDay() : 0) / static_cast<double>(kMSecsPerDay);
    return days < 0 ? static_cast<double>(days) - fraction : static_cast<double>(days) + fraction;
}

QDateTime SerialToDateTime(double serial) {
    if (!std::isfinite(serial) || std::fabs(serial) >= 1e9) return QDateTime();
    const double whole = std::trunc(serial);
    qint64 day = static_cast<qint64>(whole);
    // Rounded to the millisecond so that 10:00, stored as 0.41666..., stays 10:00.
    qint64 msecs = std::llround(std::fabs(serial - whole) * kMSecsPerDay);
    if (msecs >= kMSecsPerDay) {
        msecs -= kMSecsPerDay;
        day += serial < 0 ? -1 : 1;
    }
    return QDateTime(QDate::fromJulianDay(day + kJulianDayOfEpoch),
                     QTime::fromMSecsSinceStartOfDay(static_cast<int>(msecs)), Qt::LocalTime);
}

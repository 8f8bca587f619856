#include "QtBridge.h"

#include "Calendar.h"
#include "Conversions.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

#include <cmath>

namespace kelvaro {

namespace {

constexpr qint64 kMSecsPerDay = 86400000;

// Before main, so that the first DecimalSeparator() already reads the locale.
[[maybe_unused]] const bool kLocaleSeparatorSet = (UseQtLocaleSeparator(), true);

} // namespace

double DateTimeToSerial(const QDateTime& dateTime) {
    // The date and time as shown, whatever its time zone setting: no zone conversion.
    const QDate date = dateTime.date();
    if (!date.isValid())
        throw EConvertError("Päivämäärä puuttuu tai on virheellinen", std::string());
    // Qt has no year 0: its year -1 is 1 BC, year 0 of the serial calendar.
    const qint64 days =
        SerialOfCivil(date.year() < 0 ? date.year() + 1 : date.year(),
                      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
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
    const CivilDate date = CivilOfSerial(day);
    const auto year = static_cast<int>(date.Year <= 0 ? date.Year - 1 : date.Year);
    return QDateTime(QDate(year, static_cast<int>(date.Month), static_cast<int>(date.Day)),
                     QTime::fromMSecsSinceStartOfDay(static_cast<int>(msecs)), Qt::LocalTime);
}

char QtLocaleDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    if (point.size() != 1 || point.at(0).unicode() > 0xFF) return '.';
    return static_cast<char>(point.at(0).unicode());
}

void UseQtLocaleSeparator() {
    SetSystemSeparatorSource(&QtLocaleDecimalSeparator);
}

} // namespace kelvaro

// The Qt side of the platform: date-time serials and Qt's date-times, and
// the system locale's decimal separator as Qt reads it.
#pragma once

#include <QDateTime>

namespace kelvaro {

double DateTimeToSerial(const QDateTime& dateTime);
QDateTime SerialToDateTime(double serial);

// The system locale's decimal separator as QLocale::system() reports it
// (LC_ALL, LC_NUMERIC, LANG read by name, so it works even where the C
// library has no locale files); '.' for one outside Latin-1.
char QtLocaleDecimalSeparator();
// Makes it DecimalSeparator's source (Conversions.h). Linking this unit
// already does so before main; a program that uses nothing else of it calls
// this to link it.
void UseQtLocaleSeparator();

} // namespace kelvaro

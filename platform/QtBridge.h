// Conversions between date-time serials and Qt's date-times.
#pragma once

#include <QDateTime>

double DateTimeToSerial(const QDateTime& dateTime);
QDateTime SerialToDateTime(double serial);

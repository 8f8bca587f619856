// Numbers to text: the general format with a given separator and the listing's
// fixed columns.
#pragma once

#include <string>

namespace kelvaro {

// The number formats of FloatToStrF, named as the design names them. The
// program writes only the general format, so that is the one value; the
// argument stays in the call so that each call reads as the design writes it.
enum class TFloatFormat { ffGeneral };

// General format: the value is first taken to 18 significant digits (as an
// extended-precision decimal conversion would), then rounded half away from
// zero to `precision` significant digits; plain notation when the rounded value has at most
// `precision` integer digits and is zero or at least 0.00001 in magnitude, scientific otherwise
// ("1,235E004", "1,235E-006"). Infinities and NaN give "INF",
// "-INF" and "NAN". The separator is the caller's (the window passes the
// regional one): nothing here reads a process-wide setting.
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        char separator);

// A number as people read it in the newer windows: plain decimal notation,
// never E, with `significant` digits but no more than 8 decimals, trailing
// zeros dropped; what rounds to 0 at 8 decimals (a value's interpolation
// noise such as 1e-13) is "0". Infinities and NaN as FloatToStrF gives them.
std::string ReadableNumber(double value, int significant, char separator);

// Appends FloatToStrF(value, ffGeneral, precision, digits, separator) to out;
// the allocation-free form for writing large grids.
void AppendGeneral(std::string& out, double value, int precision, int digits, char separator);

// One result listing line, "%4d %9.3f %9.3f" with a decimal point whatever the
// locale; fields wider than their width widen the line, nothing is cut.
void AppendListingLine(std::string& out, int number, double price, double value);

} // namespace kelvaro

// The scenario table as text for files and the clipboard, and dates as
// YYYY-MM-DD.
#pragma once

#include "Scenario.h"

#include <string>

namespace kelvaro {

// The table as text: a header line (a corner naming the cells, "Hinta" for
// values, "Hinta (muutos)" or "Hinta (muutos %)" for the changes, then each
// column's date as YYYY-MM-DD), then one line per price; numbers as the shortest text that
// reads back to the same double, written with `decimalSeparator`; empty
// fields outside the lattice. `fieldSeparator` is ';' for CSV with a decimal
// comma, ',' otherwise, or '\t' for the clipboard. Lines end in "\r\n".
std::string ScenarioText(const ScenarioTable& table, ScenarioCell cell, char decimalSeparator,
                         char fieldSeparator);
// The CSV field separator that goes with a decimal separator.
inline char CsvFieldSeparator(char decimalSeparator) {
    return decimalSeparator == ',' ? ';' : ',';
}

// "YYYY-MM-DD" of a date-time serial's day.
std::string SerialDateText(double serial);

} // namespace kelvaro

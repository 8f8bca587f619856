// The list file kelvaro --batch and the list window read: a header naming
// the columns (the inputs by option name, and the two names `name` and
// `underlying`, which are never read as inputs), then one warrant per line.
#pragma once

#include "Csv.h"
#include "ListValuation.h"

#include <cstdint>
#include <fstream>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace kelvaro {

// A list that cannot be read: kelvaro's exit status and the message (as
// kelvaro prints it after "kelvaro: ").
struct BatchError {
    int Status;
    std::string Message;
};

// The two columns beside the inputs: the warrant's exchange name and the
// share's name, echoed in the output like every column.
inline constexpr std::string_view kNameColumn = "name";
inline constexpr std::string_view kUnderlyingColumn = "underlying";

// An input (see kInputs) or one of the two names above.
bool IsListColumn(std::string_view name);

// How a list's rows are read: the header's separator and columns.
struct BatchHeader {
    char Separator = ',';
    std::vector<std::string> Columns;
};

// Reads up to and including the header: the first line that is not blank
// (after a spreadsheet's byte order mark); its separator is a semicolon if
// it has one, else a comma. `path` names the source in messages ("-" for
// standard input); each header message starts with `prefix` ("--batch: "
// for kelvaro). Throws BatchError (status kInputRefused).
BatchHeader ReadBatchHeader(LineReader& reader, const std::string& path,
                            std::string_view prefix = {});

// The next row after the header, blank lines skipped: false at the end.
// A line that is too long, or whose fields do not match the header, is a
// row with its Malformed message. Check reader.Failed() after the end.
bool NextBatchRow(LineReader& reader, const BatchHeader& header, ListRow& row);

// "tiedoston "x" lukeminen epäonnistui" (standard input for "-").
std::string ReadFailedMessage(const std::string& path);

// A whole list read into memory, as the window holds it.
struct BatchList {
    BatchHeader Header;
    std::vector<ListRow> Rows;
};

// Reads every row of `in` (see ReadBatchHeader); BatchError when the header
// cannot be read or reading fails.
BatchList ReadBatchList(std::istream& in, const std::string& path, std::string_view prefix = {});

// The file `path` opened for reading, or BatchError "tiedostoa "x" ei voi
// lukea[: se on hakemisto]" (status kInputRefused). `regular` tells whether
// it is a regular file (its rows can be counted ahead).
std::ifstream OpenBatchFile(const std::string& path, bool* regular = nullptr);

// OpenBatchFile then ReadBatchList, with no prefix on the messages.
BatchList ReadBatchFile(const std::string& path);

// The row's field in `column`, or "" when the header has no such column.
std::string FieldOf(const BatchHeader& header, const ListRow& row, std::string_view column);

} // namespace kelvaro

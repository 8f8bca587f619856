#include "BatchFile.h"

#include "Conversions.h"
#include "WarrantInputs.h"
#include "WarrantValuation.h"

#include <algorithm>

#include <sys/stat.h>

namespace kelvaro {

namespace {

BatchError Refused(std::string message) {
    return BatchError{kInputRefused, std::move(message)};
}

// Each header name a known column, none twice.
void CheckColumns(const std::vector<std::string>& names, std::string_view prefix) {
    const std::string p(prefix);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (name.empty())
            throw Refused(p + "otsikkorivin " + std::to_string(i + 1) +
                          ". sarakkeen nimi on tyhjä");
        if (!IsListColumn(name)) {
            std::string known;
            for (const InputInfo& input : kInputs)
                known.append(known.empty() ? "" : ", ").append(input.Name);
            known.append(", ").append(kNameColumn).append(", ").append(kUnderlyingColumn);
            throw Refused(p + "tuntematon sarake " + Quoted(name) + " (sarakkeet: " + known + ")");
        }
        const auto before = names.begin() + static_cast<std::ptrdiff_t>(i);
        if (std::find(names.begin(), before, name) != before)
            throw Refused(p + "sarake " + Quoted(name) + " on otsikossa kahdesti");
    }
}

// The row's fields, or why they cannot be valued.
ListRow MakeRow(const BatchHeader& header, int64_t lineNumber, const std::string& line) {
    ListRow row;
    row.Line = lineNumber;
    row.Malformed = SplitFields(line, header.Separator, row.Fields);
    if (!row.Malformed && row.Fields.size() != header.Columns.size())
        row.Malformed = "rivillä on " + std::to_string(row.Fields.size()) + " kenttää, otsikossa " +
                        std::to_string(header.Columns.size());
    // No command line can hold a NUL: a single run's message would be cut there.
    for (std::size_t i = 0; !row.Malformed && i < row.Fields.size(); ++i)
        if (row.Fields[i].find('\0') != std::string::npos)
            row.Malformed = "sarakkeen " + Quoted(header.Columns[i]) + " kentässä on NUL-tavu";
    return row;
}

} // namespace

bool IsListColumn(std::string_view name) {
    return IsInput(name) || name == kNameColumn || name == kUnderlyingColumn;
}

std::string ReadFailedMessage(const std::string& path) {
    return path == "-" ? "vakiosyötteen lukeminen epäonnistui"
                       : "tiedoston " + Quoted(path) + " lukeminen epäonnistui";
}

BatchHeader ReadBatchHeader(LineReader& reader, const std::string& path, std::string_view prefix) {
    const bool stdIn = path == "-";
    const std::string p(prefix);
    std::string line;
    bool empty = true; // nothing but a byte order mark and one line end
    for (;;) {
        const LineReader::Result result = reader.Next(line);
        if (result == LineReader::kEnd) {
            if (reader.Failed()) throw Refused(ReadFailedMessage(path));
            throw Refused(p + "otsikkorivi puuttuu: " +
                          (empty ? (stdIn ? "vakiosyöte" : "tiedosto " + Quoted(path)) + " on tyhjä"
                                 : (stdIn ? "vakiosyötteessä" : "tiedostossa " + Quoted(path)) +
                                       " on vain tyhjiä rivejä"));
        }
        if (result == LineReader::kTooLong) throw Refused(p + "otsikko" + TooLongMessage());
        // A spreadsheet's byte order mark.
        if (reader.Number() == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
        empty = empty && reader.Number() == 1 && line.empty();
        if (!Trim(line).empty()) break;
    }
    BatchHeader header;
    header.Separator = line.find(';') != std::string::npos ? ';' : ',';
    if (const auto error = SplitFields(line, header.Separator, header.Columns))
        throw Refused(p + "otsikkorivi: " + *error);
    CheckColumns(header.Columns, prefix);
    return header;
}

bool NextBatchRow(LineReader& reader, const BatchHeader& header, ListRow& row) {
    std::string line;
    for (;;) {
        const LineReader::Result result = reader.Next(line);
        if (result == LineReader::kEnd) return false;
        if (result == LineReader::kTooLong) {
            row = ListRow{};
            row.Line = reader.Number();
            row.Malformed = TooLongMessage();
            return true;
        }
        if (Trim(line).empty()) continue;
        row = MakeRow(header, reader.Number(), line);
        return true;
    }
}

BatchList ReadBatchList(std::istream& in, const std::string& path, std::string_view prefix) {
    LineReader reader(in);
    BatchList list;
    list.Header = ReadBatchHeader(reader, path, prefix);
    for (ListRow row; NextBatchRow(reader, list.Header, row);) list.Rows.push_back(std::move(row));
    if (reader.Failed()) throw Refused(ReadFailedMessage(path));
    return list;
}

std::ifstream OpenBatchFile(const std::string& path, bool* regular) {
    std::ifstream file(path, std::ios::binary);
    struct stat info {};
    const bool found = static_cast<bool>(file) && stat(path.c_str(), &info) == 0;
    if (!found || S_ISDIR(info.st_mode))
        throw Refused("tiedostoa " + Quoted(path) + " ei voi lukea" +
                      (found ? ": se on hakemisto" : ""));
    if (regular) *regular = S_ISREG(info.st_mode);
    return file;
}

BatchList ReadBatchFile(const std::string& path) {
    std::ifstream file = OpenBatchFile(path);
    try {
        return ReadBatchList(file, path);
    } catch (const std::ios_base::failure&) {
        throw Refused(ReadFailedMessage(path));
    }
}

std::string FieldOf(const BatchHeader& header, const ListRow& row, std::string_view column) {
    const auto it = std::find(header.Columns.begin(), header.Columns.end(), column);
    const auto i = static_cast<std::size_t>(it - header.Columns.begin());
    return it != header.Columns.end() && i < row.Fields.size() ? row.Fields[i] : std::string();
}

} // namespace kelvaro

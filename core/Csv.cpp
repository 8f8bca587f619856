#include "Csv.h"

#include "Conversions.h"

#include <algorithm>
#include <istream>
#include <limits>

namespace kelvaro {

std::string TooLongMessage() {
    return "rivi on liian pitkä: yli " + std::to_string(kMaxLineBytes) + " tavua";
}

LineReader::LineReader(std::istream& in) : in_(in), buffer_(new char[kBufferSize]) {}

LineReader::Result LineReader::Next(std::string& line) {
    if (skipRest_) in_.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    skipRest_ = false;
    in_.getline(buffer_.get(), kBufferSize);
    const auto count = static_cast<std::size_t>(in_.gcount());
    if (count == 0 || in_.bad()) return kEnd;
    ++number_;
    if (in_.fail()) { // the buffer filled before the line's end: skipped by the next call
        in_.clear(in_.rdstate() & ~std::ios::failbit);
        skipRest_ = true;
        return kTooLong;
    }
    std::size_t length = count - (in_.eof() ? 0 : 1); // without the LF
    if (length > 0 && buffer_[length - 1] == '\r') --length;
    if (length > kMaxLineBytes) return kTooLong;
    line.assign(buffer_.get(), length);
    return kLine;
}

bool LineReader::Failed() const {
    return in_.bad();
}

std::optional<std::string> SplitFields(std::string_view line, char separator,
                                       std::vector<std::string>& fields) {
    fields.clear();
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        std::string field;
        if (i < line.size() && line[i] == '"') {
            for (++i;; ++i) {
                if (i >= line.size()) return "lainausmerkki jää auki";
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        field += '"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i];
            }
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
            if (i < line.size() && line[i] != separator)
                return "lainausmerkeissä olevan kentän jälkeen ylimääräistä tekstiä";
        } else {
            const std::size_t end = std::min(line.find(separator, i), line.size());
            field = Trim(line.substr(i, end - i));
            i = end;
        }
        fields.push_back(std::move(field));
        if (i >= line.size()) return std::nullopt;
        ++i; // the separator
    }
}

void AppendCsvCell(std::string& text, std::string_view cell, char separator) {
    const bool quote =
        cell.find_first_of(std::string{separator, '"', '\n', '\r'}) != std::string_view::npos ||
        Trim(cell).size() != cell.size();
    if (!quote) {
        text.append(cell);
    } else {
        text += '"';
        for (const char c : cell) text.append(c == '"' ? 2 : 1, c);
        text += '"';
    }
    text += separator;
}

} // namespace kelvaro

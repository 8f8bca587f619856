// CSV as a warrant list is read and written: bounded lines, fields split and
// quoted by one rule, so that what is written reads back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvaro {

// A line longer than this is its row's error and its rest is read past
// without being kept: no input makes a reader hold more than this per row.
constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;

// "rivi on liian pitkä: yli 1048576 tavua"
std::string TooLongMessage();

// The input's lines, numbered from 1, each read into a buffer of bounded size.
class LineReader {
public:
    enum Result { kLine, kTooLong, kEnd };

    explicit LineReader(std::istream& in);

    // The next line without its end (LF or CRLF), or kTooLong for a line over
    // kMaxLineBytes, or kEnd (also when reading failed: Failed()). The rest of
    // a long line is skipped only when the next is asked for, so that a header
    // from an endless source is refused at once.
    Result Next(std::string& line);

    int64_t Number() const { return number_; }
    bool Failed() const;

private:
    // The longest line, its CR and getline's terminating NUL.
    static constexpr std::size_t kBufferSize = kMaxLineBytes + 2;
    std::istream& in_;
    std::unique_ptr<char[]> buffer_;
    int64_t number_ = 0;
    bool skipRest_ = false;
};

// One line's fields. A field may be quoted ("15,5", "a ""b"""); unquoted
// fields lose their surrounding blanks. A record is one line: a quote left
// open at the line end is an error, as is text after a closing quote.
// Returns the error, if any.
std::optional<std::string> SplitFields(std::string_view line, char separator,
                                       std::vector<std::string>& fields);

// Appends the cell and `separator` after it, quoted when SplitFields would
// not read it back as it is.
void AppendCsvCell(std::string& text, std::string_view cell, char separator);

} // namespace kelvaro

#include "AppCore.h"

#include "FloatFormat.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

namespace {

constexpr int kValuePrecision = 4;
constexpr int kValueDigits = 3;
constexpr int kDatePrecision = 10;
constexpr int kDateDigits = 10;

// Large files go out in blocks of about this size; the buffer is reused.
constexpr std::size_t kFlushBytes = std::size_t{1} << 20;

// The arrays are read by the counts without further checks below, so a grid
// whose counts and arrays disagree is refused instead of read out of bounds.
void CheckGridShape(const CGrid& grid) {
    if (!grid.Allocated) return;
    const auto days = static_cast<std::size_t>(grid.DayCount);
    const auto nodes = static_cast<std::size_t>(grid.NodeCount);
    bool ok = grid.DayCount >= 0 && grid.NodeCount >= 0 && grid.DayDates.size() == days &&
              grid.DayValues.size() == days && grid.Prices.size() == nodes &&
              grid.Values.size() == nodes;
    for (std::size_t j = 0; ok && j < grid.DayValues.size(); ++j)
        ok = grid.DayValues[j].size() == nodes;
    if (!ok) throw std::logic_error("Arvotaulukon koot eivät täsmää");
}

// Produces the results file's bytes into `buffer`, handing it to `flush`
// whenever it grows past kFlushBytes and once at the end. `flush` returns
// false to stop (a failed write).
template <class Flush>
bool EmitResults(const CGrid& grid, char separator, std::string& buffer, Flush flush) {
    CheckGridShape(grid);
    buffer.clear();
    buffer += "Share\tPresent\t";
    if (!grid.Allocated) return flush(buffer);

    const int days = grid.DayCount;
    for (int j = 0; j < days; ++j) {
        AppendGeneral(buffer, grid.DayDates[j], kDatePrecision, kDateDigits, separator);
        buffer += (j < days - 1) ? "\t" : "\r\n";
    }
    for (int i = 0; i < grid.NodeCount; ++i) {
        AppendGeneral(buffer, grid.Prices[i], kValuePrecision, kValueDigits, separator);
        buffer += '\t';
        AppendGeneral(buffer, grid.Values[i], kValuePrecision, kValueDigits, separator);
        buffer += '\t';
        for (int j = 0; j < days; ++j) {
            AppendGeneral(buffer, grid.DayValues[j][i], kValuePrecision, kValueDigits, separator);
            buffer += (j < days - 1) ? "\t" : "\r\n";
        }
        if (buffer.size() >= kFlushBytes) {
            if (!flush(buffer)) return false;
            buffer.clear();
        }
    }
    return buffer.empty() || flush(buffer);
}

} // namespace

std::string ListingText(const CGrid& grid) {
    std::string text;
    if (!grid.Allocated || grid.NodeCount <= 0) return text;
    if (grid.Prices.size() != static_cast<std::size_t>(grid.NodeCount) ||
        grid.Values.size() != static_cast<std::size_t>(grid.NodeCount))
        throw std::logic_error("Arvotaulukon koot eivät täsmää");
    text.reserve(static_cast<std::size_t>(grid.NodeCount) * 25);
    for (int i = 0; i < grid.NodeCount; ++i) {
        if (i > 0) text += '\n';
        AppendListingLine(text, i + 1, grid.Prices[i], grid.Values[i]);
    }
    return text;
}

std::string TimeStepVerdict(double pMid, char separator) {
    // The thresholds apply to PMid; the number shown is the chance of a move.
    const std::string number =
        FloatToStrF(1.0 - pMid, TFloatFormat::ffGeneral, kValuePrecision, kValueDigits, separator);
    std::string text;
    if (!(pMid >= 0.1))
        text = "Aika-askel liian pitkä suhteessa pörssiarvon askeleeseen. "
               "Muutostodennäköisyys askeleella = ";
    else if (pMid > 0.995)
        text = "Aika-askel liian lyhyt suhteessa pörssiarvon askeleeseen "
               "Muutostodennäköisyys askeleella = ";
    else
        text = "Aika-askel sopiva suhteessa pörssiarvon askeleeseen "
               "Muutostodennäköisyys askeleella = ";
    return text + Latin1ToUtf8(number);
}

std::string Latin1ToUtf8(std::string_view latin1) {
    std::string text;
    text.reserve(latin1.size());
    for (const unsigned char c : latin1) {
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

std::string PeopleNumber(double value, int decimals, char separator) {
    char buffer[400]; // room for DBL_MAX in fixed notation with a few decimals
    auto result = std::to_chars_result{buffer, std::errc::value_too_large};
    if (decimals >= 0)
        result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                               decimals);
    if (result.ec != std::errc()) result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    std::replace(text.begin(), text.end(), '.', separator);
    return Latin1ToUtf8(text);
}

SaveStatus WriteResultsFile(const std::string& path, const CGrid& grid, char separator) {
    CheckGridShape(grid);
    return SaveFile(path, [&grid, separator](const SaveSink& sink) {
        std::string buffer;
        buffer.reserve(kFlushBytes + 64 * 1024);
        return EmitResults(grid, separator, buffer, sink);
    });
}

std::string Counted(long long count, std::string_view one, std::string_view many) {
    return std::to_string(count) + ' ' + std::string(count == 1 ? one : many);
}

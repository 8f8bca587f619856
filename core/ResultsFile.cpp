#include "ResultsFile.h"

#include "FloatFormat.h"

#include <stdexcept>

namespace kelvaro {

namespace {

// The general format of every number: values and prices, and the dates.
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

SaveStatus WriteResultsFile(const std::string& path, const CGrid& grid, char separator) {
    CheckGridShape(grid);
    return SaveFile(path, [&grid, separator](const SaveSink& sink) {
        std::string buffer;
        buffer.reserve(kFlushBytes + 64 * 1024);
        return EmitResults(grid, separator, buffer, sink);
    });
}

} // namespace kelvaro

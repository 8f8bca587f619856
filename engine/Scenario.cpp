#include "Scenario.h"

#include "Calendar.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kelvaro {

namespace {

int32_t DayOf(double serial) {
    return static_cast<int32_t>(std::floor(serial));
}

// Digits after the point of the shortest text that reads back as `x`.
int DecimalsOf(double x) {
    char buffer[400];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed);
    if (ec != std::errc()) return 0;
    const char* point = std::find(buffer, end, '.');
    return point == end ? 0 : static_cast<int>(end - point - 1);
}

// `x` rounded to `decimals` places, as the double nearest that decimal, so
// that 1 * 0.85 lists as 0.85 and not 0.8500000000000001. Beyond what a
// double holds, `x` as it is.
double RoundToDecimals(double x, int decimals) {
    if (decimals > 15 || !std::isfinite(x)) return x;
    char buffer[400];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, decimals);
    double rounded = x;
    if (ec == std::errc()) std::from_chars(buffer, end, rounded);
    return rounded;
}

} // namespace

const std::vector<double>& DayRowValues(const CGrid& grid, int32_t day) {
    if (!grid.Allocated || day < 0 || day >= grid.DayCount)
        throw EngineError(RefusalCode::BadTradingDay);
    // Row d - 1 holds the start of day d's roll-back, which is the close of
    // day d - 1: so row d is the close of day d, and day 0 has no row of its
    // own before the valuation moment's Values.
    return day == 0 ? grid.Values : grid.DayValues[day];
}

std::optional<double> ValueOnRow(const CGrid& grid, const std::vector<double>& row, double price) {
    // PriceMin and PriceMax are the end nodes' prices before the rounding of
    // the repeated multiplications: a price between the two reads as the
    // end node, so that the range the record states is the range accepted.
    if (!grid.Prices.empty()) {
        if (price < grid.Prices.front() && price >= grid.PriceMin) price = grid.Prices.front();
        if (price > grid.Prices.back() && price <= grid.PriceMax) price = grid.Prices.back();
    }
    return ValueOnRow(grid.Prices, row, price);
}

std::optional<int32_t> TradingDayOfDate(const CGrid& grid, int32_t serialDay) {
    for (int32_t d = 0; d < grid.DayCount; ++d)
        if (DayOf(grid.DayDates[d]) == serialDay) return d;
    return std::nullopt;
}

std::vector<double> DefaultScenarioPrices(double center) {
    std::vector<double> prices;
    // Steps of 5 % add two decimals to the centre's.
    const int decimals = DecimalsOf(center) + 2;
    for (int i = -4; i <= 4; ++i)
        prices.push_back(RoundToDecimals(center * (1.0 + 0.05 * i), decimals));
    return prices;
}

std::vector<double> ScenarioPriceRange(double first, double last, double step) {
    if (!(step > 0) || !std::isfinite(first) || !std::isfinite(last) || last < first) return {};
    // A tolerance of a millionth of a step keeps "10; 20; 2,5" ending at 20.
    const double count = std::floor((last - first) / step + 1e-6) + 1;
    if (!(count <= 1000)) return {};
    std::vector<double> prices;
    const int decimals = std::max(DecimalsOf(first), DecimalsOf(step));
    for (int i = 0; i < static_cast<int>(count); ++i)
        prices.push_back(RoundToDecimals(first + step * i, decimals));
    return prices;
}

std::vector<int32_t> DefaultScenarioDays(const CGrid& grid) {
    if (!grid.Allocated || grid.DayCount < 1) return {};
    std::vector<int32_t> days{0};
    const int32_t last = grid.DayCount - 1;
    const int32_t start = DayOf(grid.DayDates[0]);
    const CivilDate startDate = CivilOfSerial(start);
    // A day past the month's end rolls into the next month.
    const auto monthsOn = [&](int64_t months) {
        const int64_t m = startDate.Year * 12 + (startDate.Month - 1) + months;
        const int64_t year = m >= 0 ? m / 12 : (m - 11) / 12;
        return static_cast<int32_t>(
            SerialOfCivil(year, static_cast<unsigned>(m - year * 12 + 1), startDate.Day));
    };
    std::vector<int32_t> targets{start + 7};
    for (int months : {1, 3, 6}) targets.push_back(monthsOn(months));
    for (int years = 1; years <= 6; ++years) targets.push_back(monthsOn(12 * years));
    for (const int32_t target : targets) {
        if (target >= DayOf(grid.DayDates[last])) break;
        int32_t d = days.back();
        while (d < last && DayOf(grid.DayDates[d]) < target) ++d;
        if (d > days.back() && d < last) days.push_back(d);
    }
    if (last > 0) days.push_back(last);
    return days;
}

ScenarioTable ComputeScenario(const CGrid& grid, const std::vector<double>& prices,
                              const std::vector<int32_t>& days, double reference) {
    ScenarioTable table;
    table.Prices = prices;
    table.Days = days;
    for (const int32_t day : days) {
        DayRowValues(grid, day); // validates the index
        table.Dates.push_back(grid.DayDates[day]);
    }
    table.Values.assign(prices.size(), std::vector<std::optional<double>>(days.size()));
    for (std::size_t c = 0; c < days.size(); ++c) {
        const std::vector<double>& row = DayRowValues(grid, days[c]);
        for (std::size_t r = 0; r < prices.size(); ++r)
            table.Values[r][c] = ValueOnRow(grid, row, prices[r]);
    }
    if (grid.Allocated) table.Reference = ValueOnRow(grid, grid.Values, reference);
    return table;
}

std::optional<double> ScenarioCellValue(const ScenarioTable& table, std::size_t row,
                                        std::size_t column, ScenarioCell cell) {
    const std::optional<double> value = table.Values[row][column];
    if (cell == ScenarioCell::Value || !value) return value;
    if (!table.Reference) return std::nullopt;
    const double change = *value - *table.Reference;
    if (cell == ScenarioCell::Change) return change;
    if (*table.Reference == 0) return std::nullopt;
    return change / *table.Reference * 100;
}

} // namespace kelvaro

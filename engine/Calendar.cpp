// Trading calendar: trading days, the dividend's day and the time steps of
// each part of the day. Exchange hours are 10:00-18:20 on Monday to Friday,
// except on the record's closures, which count as weekend days do.
#include "Calendar.h"

#include "EngineInternal.h"

#include <algorithm>
#include <cmath>

namespace kelvaro {

namespace {

// 1 January 1970 as a serial.
constexpr int64_t kUnixEpochSerial = 25569;

} // namespace

namespace engine_detail {

namespace {

// Trading days among `span` calendar days that end on the expiry's weekday;
// the quotient is the number of weekends and truncates toward zero.
int32_t TradingDays(int32_t span, int32_t expiryWeekday) {
    return span - 2 * ((span + 4 - expiryWeekday) / 7);
}

// Monday = 0 ... Sunday = 6.
int32_t Weekday(double serial) {
    return (DayOfWeekOfSerial(serial) + 5) % 7;
}

constexpr RefusalCode kStepsTooMany = RefusalCode::TooManyTimeSteps;

// The most calendar days the exchange can stay closed in a row: a bound for
// the walks over closed days, which must end even where a serial is too
// large for a day's step to change it.
int32_t MostClosedRun(const std::vector<int32_t>& closures) {
    return static_cast<int32_t>(std::min<size_t>(closures.size(), INT32_MAX - 2)) + 2;
}

// A calendar span is at most this many days, both ends counted.
constexpr int32_t kMostSpan = 2000;

// Closures on Monday to Friday among the whole days first ... last.
int32_t WeekdayClosures(const std::vector<int32_t>& closures, double first, double last) {
    const auto from = std::lower_bound(closures.begin(), closures.end(), first,
                                       [](int32_t day, double d) { return day < d; });
    int32_t count = 0;
    for (auto it = from; it != closures.end() && *it <= last; ++it)
        if (Weekday(*it) < 5) ++count;
    return count;
}

// Inputs outside their meaningful range are refused, naming the input as the
// window labels it.
void ValidateInputs(const CGrid& grid) {
    const CWarrant& w = grid.Warrant;
    if (w.ProductType < kNormal || w.ProductType > kTurboSG)
        throw EngineError(RefusalCode::UnknownProductType);
    if (!(w.Strike > 0 && std::isfinite(w.Strike)))
        throw EngineError(RefusalCode::StrikeNotPositive);
    if (!(w.Multiplier > 0 && std::isfinite(w.Multiplier)))
        throw EngineError(RefusalCode::MultiplierNotPositive);
    if (!(w.Volatility > 0 && std::isfinite(w.Volatility)))
        throw EngineError(RefusalCode::VolatilityNotPositive);
    if (!(grid.Rate > -1 && std::isfinite(grid.Rate)))
        throw EngineError(RefusalCode::RateNotAboveMinus100);
    // Lower rates meet the lattice's drift limit first wherever it matters.
    if (grid.Rate > kMostRate) throw EngineError(RefusalCode::RateTooHigh);
    if (!(grid.OpenFraction > 0 && grid.OpenFraction <= 1))
        throw EngineError(RefusalCode::OpenFractionOutOfRange);
    if (!(grid.WeekendWeight >= 0 && std::isfinite(grid.WeekendWeight)))
        throw EngineError(RefusalCode::WeekendWeightNegative);
    if (grid.StepsPerDay < 1) throw EngineError(RefusalCode::StepsPerDayBelowOne);
    if (!std::isfinite(w.Dividend)) throw EngineError(RefusalCode::DividendNotFinite);
    if (!std::isfinite(w.DividendDate)) throw EngineError(RefusalCode::DividendDateNotFinite);
    for (const CDividend& d : w.MoreDividends) {
        if (!std::isfinite(d.Amount)) throw EngineError(RefusalCode::DividendNotFinite);
        if (!std::isfinite(d.Date)) throw EngineError(RefusalCode::DividendDateNotFinite);
    }
    if (!std::isfinite(w.KnockOutMargin)) throw EngineError(RefusalCode::KnockOutMarginNotFinite);
    if (std::adjacent_find(grid.Closures.begin(), grid.Closures.end(), std::greater_equal<>()) !=
        grid.Closures.end())
        throw EngineError(RefusalCode::ClosuresUnordered);
}

} // namespace

bool ComputeCalendar(const CGrid& grid, Calendar& out) {
    const CWarrant& w = grid.Warrant;
    const double expiry = w.Expiry;
    const double now = grid.ValuationTime;
    if (!std::isfinite(expiry) || !std::isfinite(now))
        throw EngineError(RefusalCode::DateNotFinite);

    out.ExpiryWeekday = Weekday(expiry);
    const std::vector<int32_t>& closures = grid.Closures;
    if (DateRangeRefusal(now, expiry, closures)) return false;
    ValidateInputs(grid);

    // A valuation on a weekend or a closure is counted from the previous
    // trading day's close: nothing is left of the valuation day, and only the
    // closed days still ahead count.
    const double nowDay = std::trunc(now);
    const int32_t nowWeekday = Weekday(now);
    int32_t back = nowWeekday >= 5 ? nowWeekday - 4 : 0;
    if (!closures.empty())
        for (back = 0; back <= MostClosedRun(closures) && !IsTradingDay(closures, nowDay - back);)
            ++back;
    const bool closed = back > 0;
    const double firstDay = nowDay - back;
    out.Span = static_cast<int32_t>(std::trunc(expiry) - firstDay + 1.0);
    out.DayCount = TradingDays(out.Span, out.ExpiryWeekday) -
                   WeekdayClosures(closures, firstDay, std::trunc(expiry));

    // A dividend of 0 is none, wherever it is dated.
    out.DividendDay = w.Dividend != 0 ? TradingDayOfEvent(grid, out, w.DividendDate) : -1;
    out.MoreDividendDays.resize(w.MoreDividends.size());
    for (std::size_t i = 0; i < w.MoreDividends.size(); ++i) {
        const CDividend& d = w.MoreDividends[i];
        out.MoreDividendDays[i] = d.Amount != 0 ? TradingDayOfEvent(grid, out, d.Date) : -1;
    }

    const long double stepsPerDay = grid.StepsPerDay;

    out.ClosedSteps =
        TruncToInt32((1.0L / grid.OpenFraction - 1) * stepsPerDay + 0.5, kStepsTooMany);
    const int32_t wholeDay =
        CheckedInt32(static_cast<int64_t>(grid.StepsPerDay) + out.ClosedSteps, kStepsTooMany);
    out.WeekendDaySteps =
        TruncToInt32(static_cast<long double>(wholeDay) * grid.WeekendWeight, kStepsTooMany);
    // The longest run of closed days before a trading day: a weekend, or
    // closures next to one.
    int32_t longestRun = 2;
    if (!closures.empty()) {
        int32_t run = 0;
        for (int32_t day = 0; day < out.Span; ++day) {
            run = IsTradingDay(closures, firstDay + day) ? 0 : run + 1;
            longestRun = std::max(longestRun, run);
        }
    }
    CheckedInt32(wholeDay + longestRun * static_cast<int64_t>(out.WeekendDaySteps), kStepsTooMany);
    // Weekday closures in the coming year count like weekend days.
    const int32_t yearClosures = WeekdayClosures(closures, nowDay, nowDay + 364);
    out.StepsPerYear = TruncToInt32(
        (365 - (104 + yearClosures) * (1 - static_cast<long double>(grid.WeekendWeight))) *
            wholeDay,
        kStepsTooMany);

    // The day in 20-minute units: unit 55 is the close at 18:20 and the
    // exchange hours are 25 units long.
    const double timeOfDay = std::fmod(now, 1.0);
    out.ValuationDaySteps =
        closed ? 0
               : TruncToInt32((55 - 72 * static_cast<long double>(timeOfDay)) * stepsPerDay * 0.04 +
                                  0.5,
                              kStepsTooMany);
    out.WeekendStepsPast =
        closed ? CheckedInt32((back - 1) * static_cast<int64_t>(out.WeekendDaySteps), kStepsTooMany)
               : 0;

    const int64_t total = static_cast<int64_t>(out.ValuationDaySteps) +
                          static_cast<int64_t>(out.DayCount - 1) * wholeDay +
                          static_cast<int64_t>(out.Span - out.DayCount) * out.WeekendDaySteps -
                          out.WeekendStepsPast;
    out.TotalSteps = CheckedInt32(total, kStepsTooMany);
    return true;
}

int32_t TradingDayOfEvent(const CGrid& grid, const Calendar& cal, double date) {
    const double expiry = grid.Warrant.Expiry;
    // Too early or too late to land inside the life however far it moves.
    if (!(date < expiry && date > std::trunc(grid.ValuationTime) - 2 * kMostSpan)) return -1;
    const std::vector<int32_t>& closures = grid.Closures;
    int32_t ahead = 0;
    while (ahead <= MostClosedRun(closures) && !IsTradingDay(closures, date + ahead)) ++ahead;
    const double moved = date + ahead;
    if (!(moved > grid.ValuationTime && moved < expiry)) return -1;
    const auto fromDate = static_cast<int32_t>(std::trunc(expiry) - std::trunc(moved) + 1.0);
    return cal.DayCount - TradingDays(fromDate, cal.ExpiryWeekday) +
           WeekdayClosures(closures, std::trunc(moved), std::trunc(expiry));
}

void FillDayTables(const Calendar& cal, double expiry, double valuationTime, int32_t stepsPerDay,
                   const std::vector<int32_t>& closures, std::vector<int32_t>& daySteps,
                   std::vector<double>& dayDates) {
    daySteps[0] = cal.ValuationDaySteps;
    double date = expiry;
    int32_t weekday = cal.ExpiryWeekday;
    for (int32_t i = cal.DayCount - 1; i >= 1; --i) {
        dayDates[i] = date;
        date -= 1.0;
        daySteps[i] = stepsPerDay + cal.ClosedSteps;
        if (!closures.empty()) {
            // The closed days before it: a weekend, closures, or both.
            for (int32_t run = 0; run <= MostClosedRun(closures) && !IsTradingDay(closures, date);
                 ++run, date -= 1.0)
                daySteps[i] += cal.WeekendDaySteps;
        } else if (weekday == 0) { // a Monday: the weekend before it
            date -= 2.0;
            daySteps[i] += 2 * cal.WeekendDaySteps;
        }
        weekday = (weekday + 4) % 5;
    }
    dayDates[0] = valuationTime;
    // A valuation on a closed day has the closed days before it behind it.
    if (cal.DayCount >= 2) daySteps[1] -= cal.WeekendStepsPast;
}

} // namespace engine_detail

bool IsTradingDay(const std::vector<int32_t>& closures, double serial) {
    if (engine_detail::Weekday(serial) >= 5) return false;
    const double day = std::trunc(serial);
    const auto it = std::lower_bound(closures.begin(), closures.end(), day,
                                     [](int32_t c, double d) { return c < d; });
    return it == closures.end() || *it != day;
}

std::optional<DateRangeProblem> DateRangeRefusal(double valuationTime, double expiry,
                                                 const std::vector<int32_t>& closures) {
    const double span = std::trunc(expiry) - std::trunc(valuationTime) + 1.0;
    if (!(span >= 1.0)) return DateRangeProblem::ExpiryBeforeValuation;
    // The span counts both end days: an expiry 1999 days after the
    // valuation day is the last one accepted.
    if (!(span <= 2000.0)) return DateRangeProblem::ExpiryTooFar;
    if (engine_detail::Weekday(expiry) >= 5) return DateRangeProblem::ExpiryOnWeekend;
    if (!IsTradingDay(closures, expiry)) return DateRangeProblem::ExpiryOnClosure;
    return std::nullopt;
}

// Days from civil and back after H. Hinnant's "chrono-Compatible Low-Level
// Date Algorithms": exact for any year, with no table.
int64_t SerialOfCivil(int64_t year, unsigned month, unsigned day) {
    const int64_t y = year - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468 + kUnixEpochSerial;
}

int32_t SerialOfDate(int year, unsigned month, unsigned day) {
    return static_cast<int32_t>(SerialOfCivil(year, month, day));
}

CivilDate CivilOfSerial(int64_t serialDay) {
    const int64_t z = serialDay - kUnixEpochSerial + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    CivilDate date;
    date.Day = doy - (153 * mp + 2) / 5 + 1;
    date.Month = mp < 10 ? mp + 3 : mp - 9;
    date.Year = static_cast<int64_t>(yoe) + era * 400 + (date.Month <= 2 ? 1 : 0);
    return date;
}

int DayOfWeekOfSerial(double serial) {
    // Serial day 0 (30 December 1899) was a Saturday; the day is the
    // truncated serial, also for serials before it.
    double r = std::fmod(std::trunc(serial), 7.0);
    if (r < 0) r += 7.0;
    return (static_cast<int>(r) + 6) % 7 + 1;
}

bool TotalStepsOf(const CGrid& grid, int32_t& totalSteps) {
    engine_detail::Calendar cal;
    if (!engine_detail::ComputeCalendar(grid, cal)) return false;
    totalSteps = cal.TotalSteps;
    return true;
}

} // namespace kelvaro

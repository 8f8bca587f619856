// Trading calendar: trading days, the dividend's day and the time steps of
// each part of the day. Exchange hours are 10:00-18:20 on Monday to Friday.
#include "Calendar.h"

#include "EngineInternal.h"

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
}

} // namespace

bool ComputeCalendar(const CGrid& grid, Calendar& out) {
    const CWarrant& w = grid.Warrant;
    const double expiry = w.Expiry;
    const double now = grid.ValuationTime;
    if (!std::isfinite(expiry) || !std::isfinite(now))
        throw EngineError(RefusalCode::DateNotFinite);

    out.ExpiryWeekday = Weekday(expiry);
    if (DateRangeRefusal(now, expiry)) return false;
    ValidateInputs(grid);

    // A weekend valuation is counted from the Friday's close: nothing is left
    // of the valuation day, and only the weekend days still ahead count.
    const int32_t nowWeekday = Weekday(now);
    const bool weekend = nowWeekday >= 5;
    const double firstDay = std::trunc(now) - (weekend ? nowWeekday - 4 : 0);
    out.Span = static_cast<int32_t>(std::trunc(expiry) - firstDay + 1.0);
    out.DayCount = TradingDays(out.Span, out.ExpiryWeekday);

    // A dividend of 0 is none, wherever it is dated.
    out.DividendDay = w.Dividend != 0 ? DividendTradingDay(out, now, expiry, w.DividendDate) : -1;
    out.MoreDividendDays.resize(w.MoreDividends.size());
    for (std::size_t i = 0; i < w.MoreDividends.size(); ++i) {
        const CDividend& d = w.MoreDividends[i];
        out.MoreDividendDays[i] = d.Amount != 0 ? DividendTradingDay(out, now, expiry, d.Date) : -1;
    }

    const long double stepsPerDay = grid.StepsPerDay;

    out.ClosedSteps =
        TruncToInt32((1.0L / grid.OpenFraction - 1) * stepsPerDay + 0.5, kStepsTooMany);
    const int32_t wholeDay =
        CheckedInt32(static_cast<int64_t>(grid.StepsPerDay) + out.ClosedSteps, kStepsTooMany);
    out.WeekendDaySteps =
        TruncToInt32(static_cast<long double>(wholeDay) * grid.WeekendWeight, kStepsTooMany);
    CheckedInt32(wholeDay + 2 * static_cast<int64_t>(out.WeekendDaySteps),
                 kStepsTooMany); // a Monday
    out.StepsPerYear = TruncToInt32(
        (365 - 104 * (1 - static_cast<long double>(grid.WeekendWeight))) * wholeDay, kStepsTooMany);

    // The day in 20-minute units: unit 55 is the close at 18:20 and the
    // exchange hours are 25 units long.
    const double timeOfDay = std::fmod(now, 1.0);
    out.ValuationDaySteps =
        weekend ? 0
                : TruncToInt32(
                      (55 - 72 * static_cast<long double>(timeOfDay)) * stepsPerDay * 0.04 + 0.5,
                      kStepsTooMany);
    out.WeekendStepsPast = weekend ? (nowWeekday - 5) * out.WeekendDaySteps : 0;

    const int64_t total = static_cast<int64_t>(out.ValuationDaySteps) +
                          static_cast<int64_t>(out.DayCount - 1) * wholeDay +
                          static_cast<int64_t>(out.Span - out.DayCount) * out.WeekendDaySteps -
                          out.WeekendStepsPast;
    out.TotalSteps = CheckedInt32(total, kStepsTooMany);
    return true;
}

int32_t DividendTradingDay(const Calendar& cal, double valuationTime, double expiry, double date) {
    // A weekend date is paid as if dated the Monday after.
    const int32_t weekday = Weekday(date);
    if (weekday >= 5) date += 7 - weekday;
    if (!(date > valuationTime && date < expiry)) return -1;
    const auto fromDividend = static_cast<int32_t>(std::trunc(expiry) - std::trunc(date) + 1.0);
    return cal.DayCount - TradingDays(fromDividend, cal.ExpiryWeekday);
}

void FillDayTables(const Calendar& cal, double expiry, double valuationTime, int32_t stepsPerDay,
                   std::vector<int32_t>& daySteps, std::vector<double>& dayDates) {
    daySteps[0] = cal.ValuationDaySteps;
    double date = expiry;
    int32_t weekday = cal.ExpiryWeekday;
    for (int32_t i = cal.DayCount - 1; i >= 1; --i) {
        dayDates[i] = date;
        date -= 1.0;
        daySteps[i] = stepsPerDay + cal.ClosedSteps;
        if (weekday == 0) { // a Monday: the weekend before it
            date -= 2.0;
            daySteps[i] += 2 * cal.WeekendDaySteps;
        }
        weekday = (weekday + 4) % 5;
    }
    dayDates[0] = valuationTime;
    // A weekend valuation's first trading day is a Monday.
    if (cal.DayCount >= 2) daySteps[1] -= cal.WeekendStepsPast;
}

} // namespace engine_detail

std::optional<DateRangeProblem> DateRangeRefusal(double valuationTime, double expiry) {
    const double span = std::trunc(expiry) - std::trunc(valuationTime) + 1.0;
    if (!(span >= 1.0)) return DateRangeProblem::ExpiryBeforeValuation;
    // The span counts both end days: an expiry 1999 days after the
    // valuation day is the last one accepted.
    if (!(span <= 2000.0)) return DateRangeProblem::ExpiryTooFar;
    if (engine_detail::Weekday(expiry) >= 5) return DateRangeProblem::ExpiryOnWeekend;
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

// The trading calendar a build uses, and the one place where date-time
// serials (days since 30 December 1899, the fraction the time of day) meet
// calendar dates and weekdays.
#pragma once

#include "Grid.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kelvaro {

// A day of the proleptic Gregorian calendar; Year counts astronomically
// (year 0 is 1 BC).
struct CivilDate {
    int64_t Year = 0;
    unsigned Month = 1; // 1 ... 12
    unsigned Day = 1;   // 1 ... 31
};

// The whole serial of a calendar date (1899-12-30 is 0). A day past the
// month's end (31 February) rolls into the next month.
int64_t SerialOfCivil(int64_t year, unsigned month, unsigned day);
int32_t SerialOfDate(int year, unsigned month, unsigned day);

// The calendar date of a whole serial.
CivilDate CivilOfSerial(int64_t serialDay);

// Weekday of a date-time serial, Sunday = 1 ... Saturday = 7. The day is the
// truncated serial, also for serials before day 0.
int DayOfWeekOfSerial(double serial);

// Why BuildLattice refuses a date range.
enum class DateRangeProblem {
    ExpiryBeforeValuation, // the expiry day is before the valuation day
    ExpiryTooFar,          // more than 2000 calendar days, both end days counted
    ExpiryOnWeekend,
    ExpiryOnClosure, // the exchange is closed that weekday (CGrid::Closures)
};

// Why BuildLattice would refuse the date range of these two serials, or
// nullopt when it is usable.
std::optional<DateRangeProblem> DateRangeRefusal(double valuationTime, double expiry,
                                                 const std::vector<int32_t>& closures = {});

// Whether the exchange trades on the day of this serial: Monday to Friday
// and not among `closures` (ascending whole serials).
bool IsTradingDay(const std::vector<int32_t>& closures, double serial);

// The time steps a build of these inputs would roll back, without building
// anything: false for a refused date range; throws EngineError for the
// inputs BuildLattice refuses before it sizes the lattice.
bool TotalStepsOf(const CGrid& grid, int32_t& totalSteps);

namespace engine_detail {

// The counts of one calendar, computed before anything is committed.
struct Calendar {
    int32_t ExpiryWeekday = 0;
    int32_t Span = 0; // calendar days, both ends included
    int32_t DayCount = 0;
    int32_t DividendDay = -1;
    std::vector<int32_t> MoreDividendDays; // one per CWarrant::MoreDividends
    int32_t ClosedSteps = 0;
    int32_t WeekendDaySteps = 0;
    int32_t StepsPerYear = 0;
    int32_t ValuationDaySteps = 0; // steps left in the valuation day
    int32_t TotalSteps = 0;
    // A Sunday valuation has the Saturday behind it (and a valuation on a
    // closure the closed days before it): taken off the next trading day.
    int32_t WeekendStepsPast = 0;
};

// The trading-day index (0 the valuation day) on which an event dated `date`
// acts: a date on a weekend or a closure acts on the next trading day, at
// the same time of day. -1 unless that moved date is after the valuation
// time and before the expiry.
int32_t TradingDayOfEvent(const CGrid& grid, const Calendar& cal, double date);

// Computes ExpiryWeekday first (the caller keeps it even on rejection), then
// returns false for a span outside 1 to 2000 calendar days.
bool ComputeCalendar(const CGrid& grid, Calendar& out);

// Walks back from the expiry day filling the two day tables.
void FillDayTables(const Calendar& cal, double expiry, double valuationTime, int32_t stepsPerDay,
                   const std::vector<int32_t>& closures, std::vector<int32_t>& daySteps,
                   std::vector<double>& dayDates);

} // namespace engine_detail

} // namespace kelvaro

// The valuation record and the operations that build and roll it back.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// The engine's one error: an input or an intermediate result that has no
// finite valuation. The message is a short cause in Finnish, shown to the user.
class EngineError : public std::runtime_error {
public:
    explicit EngineError(const std::string& cause) : std::runtime_error(cause) {}
};

// Product types, as indexed by the window's type choice.
enum : int32_t { kNormal = 0, kTurboSHB = 1, kTurboSG = 2 };

// The warrant's terms.
class CWarrant {
public:
    int32_t ProductType = 0;
    bool IsCall = false;
    double Strike = 0;
    double Expiry = 0; // date-time serial
    double Multiplier = 0;
    double Volatility = 0;     // annual, as a fraction
    double DividendDate = 0;   // date-time serial
    double Dividend = 0;       // cash per share, 0 for none
    double KnockOutMargin = 0; // Turbo (SG) only
    double ResidualValue = 0;  // paid by a knocked-out Turbo (SG)
    int32_t DividendDay = 0;   // trading-day index, -1 for none
};

// One valuation from the inputs to the value grid. Invariant: while Allocated
// is set, DayCount and NodeCount are the lengths of the arrays of one build;
// while it is clear both are 0 and the arrays are empty.
class CGrid {
public:
    CWarrant Warrant;

    double ValuationTime = 0; // date-time serial
    double OpenFraction = 0;  // exchange hours as a fraction of the day
    double WeekendWeight = 0; // weight of one weekend day
    double Rate = 0;          // annual, as a fraction
    double PriceMin = 0;
    double PriceMax = 0;
    double PUp = 0;
    double PMid = 0;
    double PDown = 0;
    double GrowthPerStep = 0;
    double RangeSigmas = 0;
    int32_t ExpiryWeekday = 0; // Monday = 0 ... Sunday = 6
    int32_t StepsPerDay = 0;
    int32_t ClosedSteps = 0;
    int32_t WeekendDaySteps = 0;
    int32_t DayCount = 0;
    int32_t TotalSteps = 0;
    int32_t StepsPerYear = 0;
    int32_t NodeCount = 0;
    std::vector<int32_t> DaySteps;
    std::vector<double> DayDates;
    std::vector<double> Prices;
    std::vector<double> Values;
    std::vector<double> Scratch;
    std::vector<std::vector<double>> DayValues;
    bool Allocated = false;
};

// Upper bound on the bytes of one build's arrays; larger lattices are refused
// before anything is allocated.
inline constexpr double kMaxArrayBytes = 4.0 * 1024 * 1024 * 1024;

// Builds calendar, lattice, expiry values and (Turbo) the residual value.
// Returns false when DateRangeRefusal refuses the date range; then only
// ExpiryWeekday has changed. A valuation moment on a Saturday counts as the
// Friday's close, one on a Sunday has the Saturday behind it; a dividend
// dated on a weekend is paid as if dated the Monday after. Throws EngineError for inputs without a
// finite valuation; then the record keeps its last successful build.
bool BuildLattice(CGrid& grid);

// Why BuildLattice would refuse the date range of these two serials (expiry
// before the valuation day, more than 2000 calendar days counting both end
// days, expiry on a weekend), or nullptr when it is usable. Finnish, UTF-8.
const char* DateRangeRefusal(double valuationTime, double expiry);

// Copies the inputs (the warrant's terms and the market and calendar inputs)
// into another record, leaving its arrays and derived fields as they are.
void CopyInputs(const CGrid& from, CGrid& to);

// The lattice a build would make, without allocating it: its time steps and
// nodes, whose product is the roll-back's node updates. False when the date
// range is refused; throws EngineError as BuildLattice does.
bool LatticeSize(const CGrid& grid, int32_t& totalSteps, int32_t& nodeCount);

// Value at expiry for one share price.
double Payoff(const CGrid& grid, double price);

// Releases every array and clears the counts and Allocated.
void FreeArrays(CGrid& grid);

// One backward time step over all nodes, with the product's boundary rules.
// Values and Scratch trade places: afterwards Scratch holds the values before
// the step. An overflow throws and leaves Values at the last finite step.
void StepBack(CGrid& grid);

// Maps the value curve across the cash dividend; an overflow throws and
// leaves Values as they were before the dividend.
void ApplyDividend(CGrid& grid);

// All time steps of one trading day, the dividend on its day, and the
// snapshot into the previous day's row of DayValues.
void RollBackDay(CGrid& grid, int32_t day);

// Called after each trading day with the days rolled back so far; returning
// false stops the roll-back between two days.
using DayObserver = std::function<bool(int32_t daysDone)>;

// Rolls the whole grid back from expiry to the valuation moment, last day
// first. Returns false when `onDay` stopped it: the grid is then incomplete
// and must not be shown. Values of a run that is not stopped are exactly
// those of RollBackDay called day by day.
bool RollBack(CGrid& grid, const DayObserver& onDay = {});

// Weekday of a date-time serial, Sunday = 1 ... Saturday = 7.
int DayOfWeekOfSerial(double serial);

// The valuation record: the warrant's terms, the market and calendar inputs,
// and the arrays of one build.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelvaro {

// What the engine refuses, as a code; the words are the service layer's.
// The code's name is also what() of its error.
#define KELVARO_REFUSAL_CODES(X)                                                                   \
    /* Inputs outside their meaningful range. */                                                   \
    X(UnknownProductType)                                                                          \
    X(StrikeNotPositive)                                                                           \
    X(MultiplierNotPositive)                                                                       \
    X(VolatilityNotPositive)                                                                       \
    X(RateNotAboveMinus100)                                                                        \
    X(RateTooHigh) /* above kMostRate */                                                           \
    X(OpenFractionOutOfRange)                                                                      \
    X(WeekendWeightNegative)                                                                       \
    X(StepsPerDayBelowOne)                                                                         \
    X(DividendNotFinite)                                                                           \
    X(DividendDateNotFinite)                                                                       \
    X(KnockOutMarginNotFinite)                                                                     \
    X(ClosuresUnordered) /* the closure days are not strictly ascending */                         \
    X(DateNotFinite)                                                                               \
    X(SharePriceNotPositive)                                                                       \
    X(MarketPriceNotPositive)                                                                      \
    /* The calendar and the lattice. */                                                            \
    X(DateRangeRefused) /* see DateRangeRefusal for why */                                         \
    X(TooManyTimeSteps)                                                                            \
    X(ValuationAfterClose)                                                                         \
    X(NoTimeSteps)                                                                                 \
    X(VolatilityUnderflow)                                                                         \
    X(VolatilityTooHigh)       /* A: the highest volatility the term allows, as a fraction */      \
    X(VolatilityTooLowForRate) /* A: the least volatility the rate's drift allows, as a fraction   \
                                */                                                                 \
    X(PriceRangeOverflow)                                                                          \
    X(PriceRangeUnderflow)                                                                         \
    X(TooManyPriceSteps)                                                                           \
    X(OnePriceLevel)                                                                               \
    X(PriceStepTooSmall)                                                                           \
    X(ProbabilitiesNotFinite)                                                                      \
    X(ArraysTooLarge)                                                                              \
    X(ArraysOutOfMemory)                                                                           \
    X(PayoffOverflow)                                                                              \
    X(ResidualOverflow)                                                                            \
    X(ResidualOutOfMemory)                                                                         \
    /* The roll-back. */                                                                           \
    X(NotBuilt)                                                                                    \
    X(BadTradingDay)                                                                               \
    X(ValuesOverflow)                                                                              \
    X(NegativeBranchWeight) /* values overflowed because a branch weight is negative */            \
    X(WorkLimit)            /* fuzzing builds only */

enum class RefusalCode : int32_t {
#define KELVARO_REFUSAL_ENUM(code) code,
    KELVARO_REFUSAL_CODES(KELVARO_REFUSAL_ENUM)
#undef KELVARO_REFUSAL_ENUM
};

// One refusal: its code and the numbers its text names.
struct Refusal {
    RefusalCode Code = RefusalCode::NotBuilt;
    double A = 0, B = 0;
};

// The code's name ("StrikeNotPositive"), for logs and what().
const char* RefusalTag(RefusalCode code);

// The engine's one error: an input or an intermediate result that has no
// finite valuation. Why() says which; what() is the code's name.
class EngineError : public std::runtime_error {
public:
    explicit EngineError(RefusalCode code, double a = 0, double b = 0)
        : std::runtime_error(RefusalTag(code)), refusal_{code, a, b} {}
    const Refusal& Why() const { return refusal_; }
    RefusalCode Code() const { return refusal_.Code; }

private:
    Refusal refusal_;
};

// Product types, as indexed by the window's type choice.
enum : int32_t { kNormal = 0, kTurboSHB = 1, kTurboSG = 2 };

// A cash dividend: its ex-date (date-time serial) and amount per share.
struct CDividend {
    double Date = 0;
    double Amount = 0;
};

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
    // Dividends after the form's one (DividendDate, Dividend), in any order.
    std::vector<CDividend> MoreDividends{};
    // Each one's trading-day index, -1 for none; set by the build as DividendDay is.
    std::vector<int32_t> MoreDividendDays{};
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
    // Exchange closures besides weekends: whole serials, strictly ascending;
    // a Saturday or Sunday among them changes nothing. Empty for none.
    std::vector<int32_t> Closures;
    std::vector<int32_t> DaySteps;
    std::vector<double> DayDates;
    std::vector<double> Prices;
    std::vector<double> Values;
    std::vector<double> Scratch;
    std::vector<std::vector<double>> DayValues;
    bool Allocated = false;
};

// Copies the inputs (the warrant's terms and the market and calendar inputs)
// into another record, leaving its arrays and derived fields as they are.
void CopyInputs(const CGrid& from, CGrid& to);

// Releases every array and clears the counts and Allocated.
void FreeArrays(CGrid& grid);

} // namespace kelvaro

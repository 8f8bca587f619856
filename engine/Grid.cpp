#include "Grid.h"

namespace kelvaro {

void FreeArrays(CGrid& grid) {
    std::vector<int32_t>().swap(grid.DaySteps);
    std::vector<double>().swap(grid.DayDates);
    std::vector<double>().swap(grid.Prices);
    std::vector<double>().swap(grid.Values);
    std::vector<double>().swap(grid.Scratch);
    std::vector<std::vector<double>>().swap(grid.DayValues);
    grid.DayCount = 0;
    grid.NodeCount = 0;
    grid.Allocated = false;
}

void CopyInputs(const CGrid& from, CGrid& to) {
    to.Warrant = from.Warrant;
    to.ValuationTime = from.ValuationTime;
    to.OpenFraction = from.OpenFraction;
    to.WeekendWeight = from.WeekendWeight;
    to.Rate = from.Rate;
    to.StepsPerDay = from.StepsPerDay;
}

const char* RefusalTag(RefusalCode code) {
    switch (code) {
    case RefusalCode::UnknownProductType:
        return "unknown product type";
    case RefusalCode::StrikeNotPositive:
        return "strike not positive";
    case RefusalCode::MultiplierNotPositive:
        return "multiplier not positive";
    case RefusalCode::VolatilityNotPositive:
        return "volatility not positive";
    case RefusalCode::RateNotAboveMinus100:
        return "rate not above -100 %";
    case RefusalCode::RateTooHigh:
        return "rate too high";
    case RefusalCode::OpenFractionOutOfRange:
        return "open fraction out of range";
    case RefusalCode::WeekendWeightNegative:
        return "weekend weight negative";
    case RefusalCode::StepsPerDayBelowOne:
        return "steps per day below 1";
    case RefusalCode::DividendNotFinite:
        return "dividend not finite";
    case RefusalCode::DividendDateNotFinite:
        return "dividend date not finite";
    case RefusalCode::KnockOutMarginNotFinite:
        return "knock-out margin not finite";
    case RefusalCode::DateNotFinite:
        return "date not finite";
    case RefusalCode::SharePriceNotPositive:
        return "share price not positive";
    case RefusalCode::MarketPriceNotPositive:
        return "market price not positive";
    case RefusalCode::DateRangeRefused:
        return "date range refused";
    case RefusalCode::TooManyTimeSteps:
        return "too many time steps";
    case RefusalCode::ValuationAfterClose:
        return "valuation after the expiry's close";
    case RefusalCode::NoTimeSteps:
        return "no time steps";
    case RefusalCode::VolatilityUnderflow:
        return "volatility underflows";
    case RefusalCode::VolatilityTooHigh:
        return "volatility too high for the term";
    case RefusalCode::VolatilityTooLowForRate:
        return "volatility too low for the rate";
    case RefusalCode::PriceRangeOverflow:
        return "price range overflows";
    case RefusalCode::PriceRangeUnderflow:
        return "price range underflows";
    case RefusalCode::TooManyPriceSteps:
        return "too many price steps";
    case RefusalCode::OnePriceLevel:
        return "one price level";
    case RefusalCode::PriceStepTooSmall:
        return "price step too small";
    case RefusalCode::ProbabilitiesNotFinite:
        return "probabilities not finite";
    case RefusalCode::ArraysTooLarge:
        return "arrays too large";
    case RefusalCode::ArraysOutOfMemory:
        return "out of memory for the arrays";
    case RefusalCode::PayoffOverflow:
        return "payoff overflows";
    case RefusalCode::ResidualOverflow:
        return "residual value overflows";
    case RefusalCode::ResidualOutOfMemory:
        return "out of memory for the residual value";
    case RefusalCode::NotBuilt:
        return "lattice not built";
    case RefusalCode::BadTradingDay:
        return "bad trading day";
    case RefusalCode::ValuesOverflow:
        return "values overflow";
    case RefusalCode::NegativeBranchWeight:
        return "negative branch weight";
    case RefusalCode::WorkLimit:
        return "fuzz: work limit";
    }
    return "engine refusal";
}

} // namespace kelvaro

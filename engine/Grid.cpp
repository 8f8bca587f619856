#include "Grid.h"

#include <iterator>

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
    to.Closures = from.Closures;
}

const char* RefusalTag(RefusalCode code) {
    static constexpr const char* kNames[] = {
#define KELVARO_REFUSAL_NAME(code) #code,
        KELVARO_REFUSAL_CODES(KELVARO_REFUSAL_NAME)
#undef KELVARO_REFUSAL_NAME
    };
    const auto i = static_cast<std::size_t>(code);
    return i < std::size(kNames) ? kNames[i] : "RefusalCode";
}

} // namespace kelvaro

#include "Grid.h"

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

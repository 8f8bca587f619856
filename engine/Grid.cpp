#include "EngineInternal.h"

#include <cmath>

int DayOfWeekOfSerial(double serial) {
    // Serial day 0 (30 December 1899) was a Saturday; the day is the
    // truncated serial, also for serials before it.
    double r = std::fmod(std::trunc(serial), 7.0);
    if (r < 0) r += 7.0;
    return (static_cast<int>(r) + 6) % 7 + 1;
}

double Payoff(const CGrid& grid, double price) {
    const CWarrant& w = grid.Warrant;
    double x = static_cast<double>((static_cast<long double>(price) - w.Strike) * w.Multiplier);
    if (!w.IsCall) x = -x;
    // A zero payoff is +0, never -0, so that no listing shows "-0.000".
    return x > 0 ? x : 0.0;
}

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

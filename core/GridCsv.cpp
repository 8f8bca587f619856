#include "GridCsv.h"

#include "NumberText.h"
#include "ScenarioText.h"

#include <string>

namespace kelvaro {

bool ProduceGridCsv(const CGrid& grid, const std::function<bool(std::string_view)>& sink) {
    std::string block = "Hinta,Nyt";
    const int32_t days = grid.Allocated ? grid.DayCount : 0;
    for (int32_t d = 0; d < days; ++d) block += ',' + SerialDateText(grid.DayDates[d]);
    block += '\n';
    // About a megabyte a block: memory stays small on the largest grids.
    constexpr std::size_t kBlock = 1 << 20;
    for (int32_t i = 0; grid.Allocated && i < grid.NodeCount; ++i) {
        AppendShortest(block, grid.Prices[i]);
        block += ',';
        AppendShortest(block, grid.Values[i]);
        for (int32_t d = 0; d < days; ++d) {
            block += ',';
            AppendShortest(block, grid.DayValues[d][i]);
        }
        block += '\n';
        if (block.size() >= kBlock) {
            if (!sink(block)) return false;
            block.clear();
        }
    }
    return sink(block);
}

} // namespace kelvaro

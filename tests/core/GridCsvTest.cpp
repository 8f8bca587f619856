// The full-precision grid CSV read back as pandas would: every number is the
// engine's own double, bit for bit (worked example: 1 March to 21 April 2006).
#include "GridCsv.h"
#include "TestGrids.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <sstream>

using namespace kelvaro;

namespace {

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    return fields;
}

double Read(const std::string& text) {
    double x = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), x);
    EXPECT_TRUE(ec == std::errc() && end == text.data() + text.size()) << text;
    return x;
}

} // namespace

TEST(GridCsv, ReadsBackToTheEnginesDoublesBitForBit) {
    const CGrid grid = Valued(WorkedExample());
    std::string csv;
    int blocks = 0;
    ASSERT_TRUE(ProduceGridCsv(grid, [&](std::string_view block) {
        csv.append(block), ++blocks;
        return true;
    }));
    std::stringstream in(csv);
    std::string line;
    std::getline(in, line);
    const std::vector<std::string> header = Fields(line);
    ASSERT_EQ(header.size(), static_cast<size_t>(grid.DayCount) + 2);
    EXPECT_EQ(header[0], "Hinta");
    EXPECT_EQ(header[1], "Nyt");
    EXPECT_EQ(header[2], "2006-03-01");
    EXPECT_EQ(header.back(), "2006-04-21");
    int32_t node = 0;
    for (; std::getline(in, line); ++node) {
        const std::vector<std::string> f = Fields(line);
        ASSERT_EQ(f.size(), header.size()) << line;
        const auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
        ASSERT_TRUE(same(Read(f[0]), grid.Prices[node])) << line;
        ASSERT_TRUE(same(Read(f[1]), grid.Values[node])) << line;
        for (int32_t d = 0; d < grid.DayCount; ++d)
            ASSERT_TRUE(same(Read(f[d + 2]), grid.DayValues[d][node])) << node << ' ' << d;
    }
    EXPECT_EQ(node, grid.NodeCount);

    // A sink that fails stops it; an empty record is the header alone.
    EXPECT_FALSE(ProduceGridCsv(grid, [](std::string_view) { return false; }));
    std::string empty;
    EXPECT_TRUE(ProduceGridCsv(CGrid(), [&](std::string_view b) { return empty.append(b), true; }));
    EXPECT_EQ(empty, "Hinta,Nyt\n");
}

// The scenario table as CSV and clipboard text.
#include "ScenarioText.h"
#include "TestGrids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

using namespace kelvaro;

namespace {

// Decimal comma, ';' between fields: every number reads back to its bits.
TEST(ScenarioText, CsvRoundTripWithComma) {
    const CGrid g = Valued(WorkedExample());
    const ScenarioTable t =
        ComputeScenario(g, {g.PriceMin * 0.5, 12.345, 15, 18.75}, DefaultScenarioDays(g), 15.0);
    const std::string csv = ScenarioText(t, ScenarioCell::Value, ',', CsvFieldSeparator(','));
    ASSERT_TRUE(csv.starts_with("Hinta;2006-03-01;2006-03-08;2006-04-03;2006-04-21\r\n"));
    // Field by field after the header, each row ending in CR LF and nothing after the last.
    std::size_t at = csv.find('\n') + 1;
    for (std::size_t r = 0; r < t.Prices.size(); ++r)
        for (std::size_t c = 0; c <= t.Days.size(); ++c) {
            const bool last = c == t.Days.size();
            const std::size_t end = csv.find(last ? "\r\n" : ";", at);
            ASSERT_NE(end, std::string::npos);
            std::string field = csv.substr(at, end - at);
            ASSERT_EQ(field.find_first_of(";\r\n"), std::string::npos) << field;
            std::replace(field.begin(), field.end(), ',', '.');
            const std::optional<double> want = c == 0 ? t.Prices[r] : t.Values[r][c - 1];
            EXPECT_EQ(field.empty() ? std::nullopt : std::optional(std::strtod(field.c_str(), nullptr)), want)
                << field;
            at = end + (last ? 2 : 1);
        }
    EXPECT_EQ(at, csv.size());
    EXPECT_NE(ScenarioText(t, ScenarioCell::Value, '.', '\t').find("\t0.1415"), std::string::npos);
}

// The corner cell names the mode, so a saved file says what its cells are;
// the plain values keep the bare "Hinta" that kelvaro has always written.
TEST(ScenarioText, HeaderNamesTheCellMode) {
    const ScenarioTable t = ComputeScenario(Valued(WorkedExample()), {15}, {0}, 15.0);
    const std::pair<ScenarioCell, const char*> cases[] = {
        {ScenarioCell::Value, "Hinta;2006-03-01\r\n"},
        {ScenarioCell::Change, "Hinta (muutos);2006-03-01\r\n"},
        {ScenarioCell::ChangePercent, "Hinta (muutos %);2006-03-01\r\n"}};
    for (const auto& [cell, header] : cases)
        EXPECT_TRUE(ScenarioText(t, cell, ',', ';').starts_with(header)) << header;
}

} // namespace

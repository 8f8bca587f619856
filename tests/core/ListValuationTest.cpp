// The pool as the list window uses it: rows handed back as they finish are
// the rows handed back in input order, a row without vega and rho gets them
// later exactly, and cancelling stops a row in the middle of its valuation.
#include "BatchOutput.h"
#include "ListValuation.h"
#include "ShareOutput.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>

using namespace kelvaro;

namespace {

const std::vector<std::string> kColumns = {"name", "type", "strike", "expiry", "share", "price"};
const InputTexts kShared = {{"valuation", "2006-03-01 10:00"}};

// Normal and turbos, priced and not, solved and not, and bad rows.
std::vector<ListRow> Rows() {
    const std::vector<std::vector<std::string>> fields = {
        {"A", "normal", "15", "2006-04-21", "15", "0,15"},     // solves
        {"B", "turbo-shb", "13", "2006-04-21", "15", "0,4229"}, // insensitive
        {"C", "turbo-shb", "13", "2006-04-21", "15", "0,45"},   // no solution
        {"D", "normal", "15", "2006-04-22", "15", ""},          // weekend expiry
        {"E", "turbo-shb", "16", "2006-06-16", "15", "0,1"},    // knocked out
        {"F", "normal", "1x", "2006-04-21", "15", ""},          // not a number
        {"G", "normal", "16", "2006-06-16", "15,5", ""},
    };
    std::vector<ListRow> rows;
    for (std::size_t i = 0; i < fields.size(); ++i) rows.push_back({static_cast<int64_t>(i + 2), fields[i], {}});
    return rows;
}

// Line -> the row's output line, from one list.
std::map<int64_t, std::string> ValueList(ListOptions options, std::vector<int64_t>* order = nullptr) {
    BatchFormat format;
    format.Columns = kColumns;
    const BatchOutput output(format);
    std::map<int64_t, std::string> lines;
    ListValuation list(kColumns, kShared, 3, [&](const ListRow& row, const WarrantRun& run) {
        lines[row.Line] = output.Format(row, run);
        if (order) order->push_back(row.Line);
        return true;
    }, options);
    for (ListRow& row : Rows()) EXPECT_TRUE(list.Submit(std::move(row)));
    EXPECT_TRUE(list.Finish());
    EXPECT_EQ(list.Failed(), 2);
    return lines;
}

TEST(ListValuation, AsFinishedGivesTheRowsOfInputOrder) {
    std::vector<int64_t> order;
    const auto inOrder = ValueList({}, &order);
    EXPECT_EQ(order, (std::vector<int64_t>{2, 3, 4, 5, 6, 7, 8}));
    ListOptions asFinished;
    asFinished.HandBack = ListOptions::kAsFinished;
    EXPECT_EQ(ValueList(asFinished), inOrder);
}

// The window's rows leave out vega and rho; the selected row's come from
// AddVegaRho, bit for bit those of the row valued with them.
TEST(ListValuation, VegaAndRhoAddedLaterAreTheFullRowsOwn) {
    ListOptions without;
    without.VegaRho = false;
    const auto full = ValueList({}), light = ValueList(without);
    for (const ListRow& row : Rows()) {
        SCOPED_TRACE(row.Line);
        const InputTexts texts = RowTexts(kColumns, kShared, row);
        RowOptions options;
        options.VegaRho = false;
        const WarrantRun run = ValueWarrant(texts, options);
        const WarrantRun added = AddVegaRho(texts, run);
        RowOptions withAll;
        const WarrantRun reference = ValueWarrant(texts, withAll);
        ASSERT_EQ(added.Status, reference.Status);
        ASSERT_EQ(added.Figures.has_value(), reference.Figures.has_value());
        if (!reference.Figures) continue;
        EXPECT_EQ(FiguresJson(*added.Figures), FiguresJson(*reference.Figures));
        EXPECT_EQ(added.VolatilityCause, reference.VolatilityCause);
        // Without them the row has every other figure and null vega and rho.
        if (reference.Figures->Vega) {
            EXPECT_FALSE(run.Figures->Vega);
            EXPECT_FALSE(run.Figures->Rho);
            EXPECT_NE(light.at(row.Line), full.at(row.Line));
            CShareFigures f = *run.Figures;
            f.Vega = reference.Figures->Vega;
            f.Rho = reference.Figures->Rho;
            EXPECT_EQ(FiguresJson(f), FiguresJson(*reference.Figures));
        }
    }
}

// Short rows are handed back while a long one (hours) is still valued;
// cancelling then stops it: it is never handed back, and the pool ends.
TEST(ListValuation, CancelStopsARowBeingValued) {
    std::mutex m;
    std::condition_variable cv;
    std::set<int64_t> handed;
    ListOptions options;
    options.HandBack = ListOptions::kAsFinished;
    options.VegaRho = false;
    auto list = std::make_unique<ListValuation>(
        kColumns, InputTexts{{"valuation", "2006-03-01 10:00"}, {"steps-per-day", "20000"}}, 2,
        [&](const ListRow& row, const WarrantRun&) {
            std::lock_guard lock(m);
            handed.insert(row.Line);
            cv.notify_all();
            return true;
        },
        options);
    ASSERT_TRUE(list->Submit({2, {"long", "normal", "15", "2011-08-01", "15", ""}, {}}));
    for (int64_t line = 3; line < 6; ++line)
        ASSERT_TRUE(list->Submit({line, {"short", "normal", "15", "2006-03-02", "15", ""}, {}}));
    {
        std::unique_lock lock(m);
        // A bound only so that a fault fails rather than hangs.
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::minutes(1), [&] { return handed.size() == 3; }));
    }
    list->Cancel();
    EXPECT_FALSE(list->Finish());
    EXPECT_FALSE(list->Submit({6, {"late", "normal", "15", "2006-03-02", "15", ""}, {}}));
    list.reset(); // waits for the long row to stop
    EXPECT_EQ(handed, (std::set<int64_t>{3, 4, 5}));
}

} // namespace

// The dividend list: read by the one reader (kelvaro, a batch row), its bad
// items named, and --json's days only when a list is given.
#include "Batch.h"
#include "InProcess.h"
#include "Kelvaro.h"
#include "WarrantInputs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

using namespace kelvaro;

namespace {

Outcome Kelvaro(std::vector<std::string> args) {
    for (const char* arg : {"--valuation", "2026-12-15 10:00", "--expiry", "2027-12-17"})
        args.emplace_back(arg);
    return Single(args);
}

} // namespace

TEST(Dividends, ReadAsListedWithAPointOrAComma) {
    const std::vector<CDividend> d =
        ReadDividends("--dividends", " 2027-03-20:0.30; 2027-06-20:0,3 ;;2027-09-20:-1e-1;");
    ASSERT_EQ(d.size(), 3u);
    // 20 March 2027 is serial 46466 (1899-12-30 is 0), at the close 18:20.
    EXPECT_DOUBLE_EQ(d[0].Date, 46466 + 55.0 / 72);
    EXPECT_EQ(d[0].Amount, 0.3);
    EXPECT_EQ(d[1].Amount, 0.3);
    EXPECT_EQ(d[2].Amount, -0.1);
    EXPECT_TRUE(ReadDividends("--dividends", "").empty());
}

TEST(Dividends, ABadItemIsRefusedByName) {
    const char* bad[] = {"2027-03-20",       "2027-03-20:",     "2027-02-30:0,3",
                         "27-03-20:0,3",     "2027-03-20:0,3x", "2027-03-20 10:00:0,3",
                         "0,3:2027-03-20"};
    for (const char* item : bad) {
        SCOPED_TRACE(item);
        const std::string text = std::string("2027-01-05:0,1;") + item + ";2027-04-05:0,1";
        try {
            ReadDividends("--dividends", text);
            ADD_FAILURE() << "accepted";
        } catch (const InputError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("virheellinen arvo valitsimelle --dividends: \"" +
                                                      std::string(item) + "\" (osinko muodossa",
                                                  0),
                      0u)
                << e.what();
        }
    }
    const Outcome run = Kelvaro({"--dividends", "2027-03-20;0,3"});
    EXPECT_EQ(run.status, kExitUsage);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("--dividends: \"2027-03-20\""), std::string::npos) << run.err;
}

// 64 are taken (32 at least are needed: quarterly for eight years), one
// more is refused naming it.
TEST(Dividends, SixtyFourAcceptedAndOneMoreRefused) {
    std::string list;
    for (int i = 0; i < 65; ++i) {
        char item[32];
        std::snprintf(item, sizeof item, "%s%d-%02d-05:0,01", i ? ";" : "", 2027 + i / 12,
                      1 + i % 12);
        list.append(item);
    }
    const std::size_t cut = list.rfind(';');
    EXPECT_EQ(ReadDividends("--dividends", list.substr(0, cut)).size(), 64u);
    EXPECT_THROW(ReadDividends("--dividends", list), InputError);
    const Outcome run = Kelvaro({"--dividends", list.substr(0, cut), "--json"});
    EXPECT_EQ(run.status, kExitOk) << run.err;
}

// --json names each dividend's trading day only with a list; the form's one
// first (-1: none inside the life).
TEST(Dividends, JsonDaysOnlyWithAList) {
    const Outcome one = Kelvaro({"--dividend-date", "2027-03-20", "--dividend", "0,9", "--json"});
    ASSERT_EQ(one.status, kExitOk) << one.err;
    EXPECT_EQ(one.out.find("DividendDays"), std::string::npos);
    const Outcome list = Kelvaro(
        {"--dividends", "2027-03-20:0.30;2027-06-20:0.30;2027-09-20:0.30;2028-01-03:1", "--json"});
    ASSERT_EQ(list.status, kExitOk) << list.err;
    // Weekdays counted from Tuesday 15 December 2026 (day 0): Saturday 20
    // March is paid on Monday 22 March, day 69; Sunday 20 June on Monday 21
    // June, day 134; Monday 20 September is day 199; 2028 is after expiry.
    EXPECT_NE(list.out.find("\"DividendDays\": [-1, 69, 134, 199, -1],"), std::string::npos)
        << list.out.substr(0, 400);
}

// A batch row takes the list as its column, quoted for the semicolons.
TEST(Dividends, BatchColumnAsTheOption) {
    std::istringstream in("expiry;valuation;dividends;share\n"
                          "2027-12-17;2026-12-15 10:00;\"2027-03-20:0,3;2027-06-20:0,3\";15\n");
    std::ostringstream out, err;
    EXPECT_EQ(RunBatch({"--batch", "-"}, in, out, err), kExitOk) << err.str();
    const Outcome single =
        Kelvaro({"--dividends", "2027-03-20:0,3;2027-06-20:0,3", "--share", "15", "--json"});
    const std::size_t at = single.out.find("\"AtShare\"");
    ASSERT_NE(at, std::string::npos);
    const std::string figures = single.out.substr(at + 12, single.out.find('}', at) - at - 12);
    EXPECT_NE(out.str().find(figures), std::string::npos) << out.str() << "\n" << figures;
}

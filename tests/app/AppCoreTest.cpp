#include "AppCore.h"
#include "Conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kTooLong =
    "Aika-askel liian pitkä suhteessa pörssiarvon askeleeseen. Muutostodennäköisyys askeleella = ";
const std::string kTooShort =
    "Aika-askel liian lyhyt suhteessa pörssiarvon askeleeseen Muutostodennäköisyys askeleella = ";
const std::string kSuitable =
    "Aika-askel sopiva suhteessa pörssiarvon askeleeseen Muutostodennäköisyys askeleella = ";

// 1 March 2006 (a Wednesday) 10:00 and 21 April 2006 18:20.
constexpr double kMarch1At10 = 38777.41666666666;
constexpr double kApril21At1820 = 38828.76388888889;

// Inputs as the window's defaults give them, on the given dates.
CGrid DefaultInputs(double valuation, double expiry, int stepsPerDay) {
    CGrid grid;
    grid.Warrant.ProductType = kNormal;
    grid.Warrant.IsCall = true;
    grid.Warrant.Strike = 15;
    grid.Warrant.Expiry = expiry;
    grid.Warrant.Multiplier = 0.2;
    grid.Warrant.Volatility = 0.3;
    grid.Warrant.DividendDate = 38807.76388888889;
    grid.ValuationTime = valuation;
    grid.StepsPerDay = stepsPerDay;
    grid.OpenFraction = 1.0;
    grid.WeekendWeight = 1.0;
    grid.Rate = 0.03;
    return grid;
}

void Calculate(CGrid& grid) {
    ASSERT_TRUE(BuildLattice(grid));
    for (int day = grid.DayCount - 1; day >= 0; --day) RollBackDay(grid, day);
}

// A hand-made grid of the given size, consistent with its counts.
CGrid HandGrid(int days, int nodes) {
    CGrid grid;
    grid.Allocated = true;
    grid.DayCount = days;
    grid.NodeCount = nodes;
    grid.DayDates.assign(days, 0.0);
    grid.Prices.assign(nodes, 0.0);
    grid.Values.assign(nodes, 0.0);
    grid.DayValues.assign(days, std::vector<double>(nodes, 0.0));
    return grid;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return lines;
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t end; (end = line.find('\t', start)) != std::string::npos; start = end + 1)
        fields.push_back(line.substr(start, end - start));
    fields.push_back(line.substr(start));
    return fields;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ResultsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kelvaro_appcore_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

}  // namespace

TEST(TimeStepVerdict, ThresholdsAndNumber) {
    struct Case {
        double pMid;
        char separator;
        std::string expected;
    };
    const Case cases[] = {
        {0.1, ',', kSuitable + "0,9"},
        {std::nextafter(0.1, 0.0), ',', kTooLong + "0,9"},
        {0.0999, ',', kTooLong + "0,9001"},
        {0.995, ',', kSuitable + "0,005"},
        {std::nextafter(0.995, 1.0), ',', kTooShort + "0,005"},
        {0.9951, ',', kTooShort + "0,0049"},
        {0.6, ',', kSuitable + "0,4"},
        {0.25, '.', kSuitable + "0.75"},
        {-0.25, ',', kTooLong + "1,25"},
        {std::numeric_limits<double>::quiet_NaN(), ',', kTooLong + "NAN"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TimeStepVerdict(c.pMid, c.separator), c.expected) << "PMid " << c.pMid;
}

TEST(TimeStepVerdict, WorkedExampleIsSuitable) {
    CGrid grid = DefaultInputs(kMarch1At10, kApril21At1820, 100);
    ASSERT_TRUE(BuildLattice(grid));
    EXPECT_NEAR(grid.PMid, 0.4998086, 1e-7);
    EXPECT_EQ(TimeStepVerdict(grid.PMid, ','), kSuitable + "0,5002");
}

TEST(ListingText, OneLinePerNodeWithPoint) {
    CGrid grid = HandGrid(1, 3);
    grid.Prices = {2.5, 10000, 100000};
    grid.Values = {0, -1.25, 12.3456};
    EXPECT_EQ(ListingText(grid),
              "   1     2.500     0.000\n"
              "   2 10000.000    -1.250\n"
              "   3 100000.000    12.346");
    EXPECT_EQ(ListingText(CGrid{}), "");
}

TEST_F(ResultsFileTest, HandGridByteForByte) {
    CGrid grid = HandGrid(2, 3);
    grid.DayDates = {38828.5, 38831.7638888889};
    grid.Prices = {10, 12.5, 1234.56};
    grid.Values = {0, 0.123456, 2.00004};
    grid.DayValues = {{0.5, 1, 2}, {0, 2.5, 1e-7}};
    EXPECT_EQ(ResultsFileText(grid, ','),
              "Share\tPresent\t38828,5\t38831,76389\r\n"
              "10\t0\t0,5\t0\r\n"
              "12,5\t0,1235\t1\t2,5\r\n"
              "1235\t2\t2\t1E-007\r\n");
    EXPECT_EQ(ResultsFileText(grid, '.').substr(0, 35), "Share\tPresent\t38828.5\t38831.76389\r\n");
}

TEST_F(ResultsFileTest, HeaderOnlyBeforeAnyBuild) {
    const CGrid grid;
    EXPECT_EQ(ResultsFileText(grid, ','), "Share\tPresent\t");
    const fs::path path = dir_ / "empty.txt";
    ASSERT_EQ(WriteResultsFile(path.string(), grid, ','), SaveStatus::Ok);
    EXPECT_EQ(ReadFile(path), "Share\tPresent\t");
    EXPECT_EQ(fs::file_size(path), 14u);
}

TEST_F(ResultsFileTest, ComputedLatticeShape) {
    // Wednesday 14:10 with two steps a day: one step left today.
    const double wednesdayAt1410 = 38777.0 + 850.0 / 1440.0;
    for (const double expiry : {38777.76388888889, 38778.76388888889}) {
        CGrid grid = DefaultInputs(wednesdayAt1410, expiry, 2);
        Calculate(grid);
        const std::string text = ResultsFileText(grid, ',');
        const std::vector<std::string> lines = SplitLines(text);
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(grid.NodeCount) + 1);
        const std::vector<std::string> header = SplitFields(lines[0]);
        ASSERT_EQ(header.size(), static_cast<std::size_t>(grid.DayCount) + 2);
        EXPECT_EQ(header[0], "Share");
        EXPECT_EQ(header[1], "Present");
        EXPECT_EQ(header[2], "38777,59028");  // the valuation moment
        if (grid.DayCount == 2) {
            EXPECT_EQ(header[3], "38778,76389");  // the expiry
        }
        for (std::size_t i = 1; i < lines.size(); ++i) {
            const std::vector<std::string> fields = SplitFields(lines[i]);
            ASSERT_EQ(fields.size(), header.size()) << "line " << i;
            for (const std::string& field : fields) {
                EXPECT_FALSE(field.empty()) << "line " << i;
                EXPECT_EQ(field.find('.'), std::string::npos) << field;
            }
        }
        // The lowest price first; the last column holds the expiry values.
        auto general = [](double v) { return FloatToStrF(v, TFloatFormat::ffGeneral, 4, 3, ','); };
        EXPECT_EQ(SplitFields(lines[1])[0], general(grid.PriceMin));
        for (int i = 0; i < grid.NodeCount; ++i)
            EXPECT_EQ(SplitFields(lines[i + 1]).back(), general(Payoff(grid, grid.Prices[i])));
        EXPECT_EQ(ResultsFileText(grid, ','), text) << "two saves differ";
    }
}

TEST_F(ResultsFileTest, WritesInPlaceAndReportsFailures) {
    // Big enough to cross the block size several times.
    CGrid big = HandGrid(12, 30000);
    for (int i = 0; i < big.NodeCount; ++i) {
        big.Prices[i] = 1 + i * 0.001;
        big.Values[i] = i * 1e-3;
        for (int j = 0; j < big.DayCount; ++j) big.DayValues[j][i] = (i + j) / 7.0;
    }
    for (int j = 0; j < big.DayCount; ++j) big.DayDates[j] = 38777.75 + j;
    const fs::path path = dir_ / "grid.txt";
    ASSERT_EQ(WriteResultsFile(path.string(), big, ','), SaveStatus::Ok);
    const std::string bigText = ResultsFileText(big, ',');
    ASSERT_GT(bigText.size(), 2u << 20);
    EXPECT_EQ(ReadFile(path), bigText);

    // A shorter grid over the longer file leaves nothing of it behind.
    CGrid small = HandGrid(1, 2);
    small.DayDates = {38829.0};
    small.Prices = {1, 2};
    ASSERT_EQ(WriteResultsFile(path.string(), small, ','), SaveStatus::Ok);
    EXPECT_EQ(ReadFile(path), "Share\tPresent\t38829\r\n1\t0\t0\r\n2\t0\t0\r\n");

    EXPECT_EQ(WriteResultsFile((dir_ / "missing" / "x.txt").string(), small, ','),
              SaveStatus::OpenFailed);
    EXPECT_FALSE(fs::exists(dir_ / "missing"));
    EXPECT_EQ(WriteResultsFile(dir_.string(), small, ','), SaveStatus::OpenFailed);
    EXPECT_EQ(WriteResultsFile("", small, ','), SaveStatus::OpenFailed);
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(WriteResultsFile("/dev/full", small, ','), SaveStatus::WriteFailed);
    }

    if (::geteuid() != 0) {  // root may write anywhere
        fs::permissions(path, fs::perms::owner_read);
        EXPECT_EQ(WriteResultsFile(path.string(), big, ','), SaveStatus::OpenFailed);
        EXPECT_EQ(ReadFile(path), "Share\tPresent\t38829\r\n1\t0\t0\r\n2\t0\t0\r\n");
    }
}

TEST_F(ResultsFileTest, InconsistentGridIsRefusedBeforeOpening) {
    CGrid grid = HandGrid(2, 3);
    grid.DayValues[1].resize(2);
    const fs::path path = dir_ / "never.txt";
    EXPECT_THROW(WriteResultsFile(path.string(), grid, ','), std::logic_error);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_THROW(ResultsFileText(grid, ','), std::logic_error);
}

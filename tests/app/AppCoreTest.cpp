// The window-independent parts of the commands: the time-step verdict and the
// results file.
#include "AppCore.h"

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

// A file of this process's own in the temporary folder, removed at the end.
struct TempFile {
    const fs::path path =
        fs::temp_directory_path() / ("kelvaro_appcore_" + std::to_string(::getpid()) + ".txt");
    ~TempFile() { fs::remove(path); }
};

}  // namespace

TEST(TimeStepVerdict, ThresholdsAndNumber) {
    const std::string tooLong =
        "Aika-askel liian pitkä suhteessa pörssiarvon askeleeseen. Muutostodennäköisyys askeleella = ";
    const std::string tooShort =
        "Aika-askel liian lyhyt suhteessa pörssiarvon askeleeseen Muutostodennäköisyys askeleella = ";
    const std::string suitable =
        "Aika-askel sopiva suhteessa pörssiarvon askeleeseen Muutostodennäköisyys askeleella = ";
    struct Case { double pMid; char separator; std::string expected; };
    const Case cases[] = {
        {0.1, ',', suitable + "0,9"},     {std::nextafter(0.1, 0.0), ',', tooLong + "0,9"},
        {0.995, ',', suitable + "0,005"}, {std::nextafter(0.995, 1.0), ',', tooShort + "0,005"},
        {1 - 0.4998, '.', suitable + "0.4998"},
        {std::numeric_limits<double>::quiet_NaN(), ',', tooLong + "NAN"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TimeStepVerdict(c.pMid, c.separator), c.expected) << "PMid " << c.pMid;
}

// The 14-byte file before any build and a save over a longer file are the
// window's tests; here the bytes of a small grid and of a large one.
TEST(ResultsFile, SmallGridByteForByte) {
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

    // Counts that do not describe one build are refused before the file is opened.
    const TempFile never;
    grid.DayValues[1].resize(2);
    EXPECT_THROW(WriteResultsFile(never.path.string(), grid, ','), std::logic_error);
    EXPECT_FALSE(fs::exists(never.path));
}

TEST(ResultsFile, LargeGridInBlocks) {
    CGrid big = HandGrid(12, 30000);  // over 2 MB: several blocks
    for (int i = 0; i < big.NodeCount; ++i) {
        big.Prices[i] = 1 + i * 0.001;
        big.Values[i] = i * 1e-3;
        for (int j = 0; j < big.DayCount; ++j) big.DayValues[j][i] = (i + j) / 7.0;
    }
    for (int j = 0; j < big.DayCount; ++j) big.DayDates[j] = 38777.75 + j;
    const TempFile file;
    ASSERT_EQ(WriteResultsFile(file.path.string(), big, ','), SaveStatus::Ok);
    const std::string bigText = ResultsFileText(big, ',');
    ASSERT_GT(bigText.size(), 2u << 20);
    std::ifstream in(file.path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bigText);
}

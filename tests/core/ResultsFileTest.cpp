// The results file, byte for byte.
#include "ResultsFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>
#include <vector>
#include <sys/resource.h>

using namespace kelvaro;

namespace fs = std::filesystem;

namespace {

// A hand-made grid, its counts those of its arrays.
CGrid HandGrid(std::vector<double> dates, std::vector<double> prices, std::vector<double> values,
               std::vector<std::vector<double>> dayValues) {
    CGrid grid;
    grid.Allocated = true;
    grid.DayCount = static_cast<int32_t>(dates.size()), grid.NodeCount = static_cast<int32_t>(prices.size());
    grid.DayDates = std::move(dates), grid.Prices = std::move(prices), grid.Values = std::move(values);
    grid.DayValues = std::move(dayValues);
    return grid;
}

// Over 2 MB of results: several blocks.
CGrid BigGrid() {
    std::vector<double> dates, prices, values;
    std::vector<std::vector<double>> dayValues(12);
    for (int i = 0; i < 30000; ++i) {
        prices.push_back(1 + i * 0.001), values.push_back(i * 1e-3);
        for (int j = 0; j < 12; ++j) dayValues[j].push_back((i + j) / 7.0);
    }
    for (int j = 0; j < 12; ++j) dates.push_back(38777.75 + j);
    return HandGrid(dates, prices, values, dayValues);
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes past `bytes` fail with EFBIG, as on a full disk, until the guard goes.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : handler_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, handler_);
    }

private:
    void (*handler_)(int);
    rlimit saved_{};
};

}  // namespace

// The 14-byte file before any build and a save over a longer file are the
// window's tests; here the bytes of a small grid.
TEST(ResultsFile, SmallGridByteForByte) {
    CGrid grid = HandGrid({38828.5, 38831.7638888889}, {10, 12.5, 1234.56}, {0, 0.123456, 2.00004},
                          {{0.5, 1, 2}, {0, 2.5, 1e-7}});
    const QTemporaryDir dir;
    const fs::path path = dir.filePath("small.txt").toStdString();
    ASSERT_EQ(WriteResultsFile(path, grid, ','), SaveStatus::Ok);
    EXPECT_EQ(ReadFile(path),
              "Share\tPresent\t38828,5\t38831,76389\r\n"
              "10\t0\t0,5\t0\r\n"
              "12,5\t0,1235\t1\t2,5\r\n"
              "1235\t2\t2\t1E-007\r\n");
    ASSERT_EQ(WriteResultsFile(path, grid, '.'), SaveStatus::Ok);
    EXPECT_EQ(ReadFile(path).substr(0, 35), "Share\tPresent\t38828.5\t38831.76389\r\n");

    // Counts that do not describe one build are refused before the file is opened.
    const fs::path never = dir.filePath("never.txt").toStdString();
    grid.DayValues[1].resize(2);
    EXPECT_THROW(WriteResultsFile(never, grid, ','), std::logic_error);
    EXPECT_FALSE(fs::exists(never));
}

// State: a good results file. Action: a 2 MB save, whole, then one that fails
// after 1 MB. Expected: every block once, then the old file byte for byte, no
// temporary file beside it.
TEST(ResultsFile, LargeGridInBlocksAndWriteFaultKeepsOldFile) {
    const QTemporaryDir dir;
    const fs::path path = dir.filePath("tulokset.txt").toStdString();
    ASSERT_EQ(WriteResultsFile(path, BigGrid(), ','), SaveStatus::Ok);
    const std::string big = ReadFile(path);
    EXPECT_GT(big.size(), 2u << 20);
    EXPECT_EQ(std::count(big.begin(), big.end(), '\n'), 30001);
    EXPECT_TRUE(big.ends_with("\r\n31\t30\t4286\t4286\t4286\t4286\t4286\t4286\t4286\t4287\t4287\t4287\t4287\t4287\r\n"));
    ASSERT_EQ(WriteResultsFile(path, CGrid(), ','), SaveStatus::Ok);
    {
        const FileSizeLimit limit(1 << 20);
        EXPECT_EQ(WriteResultsFile(path, BigGrid(), ','), SaveStatus::WriteFailed);
    }
    EXPECT_EQ(ReadFile(path).substr(0, 100), "Share\tPresent\t");  // short if it fails
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"tulokset.txt"});
}

// The window-independent parts of the commands: the time-step verdict and the
// results file.
#include "AppCore.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// Over 2 MB of results: several blocks.
CGrid BigGrid() {
    CGrid big = HandGrid(12, 30000);
    for (int i = 0; i < big.NodeCount; ++i) {
        big.Prices[i] = 1 + i * 0.001;
        big.Values[i] = i * 1e-3;
        for (int j = 0; j < big.DayCount; ++j) big.DayValues[j][i] = (i + j) / 7.0;
    }
    for (int j = 0; j < big.DayCount; ++j) big.DayDates[j] = 38777.75 + j;
    return big;
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
// window's tests; here the bytes of a small grid.
TEST(ResultsFile, SmallGridByteForByte) {
    CGrid grid = HandGrid(2, 3);
    grid.DayDates = {38828.5, 38831.7638888889};
    grid.Prices = {10, 12.5, 1234.56};
    grid.Values = {0, 0.123456, 2.00004};
    grid.DayValues = {{0.5, 1, 2}, {0, 2.5, 1e-7}};
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

// A replaced file keeps its mode, a link through which it is saved stays a
// link, and a new file gets the usual mode.
TEST(ResultsFile, ModeAndLinkKept) {
    const QTemporaryDir dir;
    const fs::path target = dir.filePath("kept.txt").toStdString(),
                   link = dir.filePath("link.txt").toStdString(),
                   fresh = dir.filePath("new.txt").toStdString();
    std::ofstream(target) << "old";
    // Root may write a file whose owner may not; Qt's own copy would add the bit.
    const auto mode = static_cast<fs::perms>(::geteuid() == 0 ? 0404 : 0604);
    fs::permissions(target, mode);
    fs::create_symlink("kept.txt", link);
    const CGrid grid = HandGrid(1, 2);
    ASSERT_EQ(WriteResultsFile(link, grid, ','), SaveStatus::Ok);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(target), "Share\tPresent\t0\r\n0\t0\t0\r\n0\t0\t0\r\n");
    EXPECT_EQ(fs::status(target).permissions(), mode);

    const mode_t mask = ::umask(0);
    ::umask(mask);
    ASSERT_EQ(WriteResultsFile(fresh, grid, ','), SaveStatus::Ok);
    EXPECT_EQ(fs::status(fresh).permissions(), static_cast<fs::perms>(0666 & ~mask));
}

// Paths that take no file are reported, and an existing file in a folder that
// takes no new file stays as it was.
TEST(ResultsFile, UnwritablePathsReported) {
    const QTemporaryDir dir;
    const QString locked = dir.filePath("locked"), readOnly = dir.filePath("readonly.txt");
    const fs::path kept = (locked + "/kept.txt").toStdString();
    ASSERT_TRUE(QDir().mkdir(locked));
    std::ofstream(kept) << "old";
    std::ofstream(readOnly.toStdString()) << "old";
    // Root passes permission bits; an immutable folder or file stops it too.
    struct Locks {
        const bool root = ::geteuid() == 0;
        QStringList held;
        bool Lock(const QString& path) {
            if (root ? QProcess::execute("chattr", {"+i", path}) != 0
                     : ::chmod(path.toLocal8Bit().constData(), 0555) != 0)
                return false;
            held << path;
            return true;
        }
        ~Locks() {
            for (const QString& path : held)
                root ? QProcess::execute("chattr", {"-i", path}) : ::chmod(path.toLocal8Bit().constData(), 0755);
        }
    } locks;
    // A device that refuses writes (as /dev/full, 1:7), made here: only root may.
    const std::string full = dir.filePath("full").toStdString();
    const bool device = ::geteuid() == 0 && ::mknod(full.c_str(), S_IFCHR | 0666, ::makedev(1, 7)) == 0;

    const struct { std::string path; SaveStatus status; } cases[] = {
        {dir.filePath("missing/folder/out.txt").toStdString(), SaveStatus::OpenFailed},
        {dir.path().toStdString(), SaveStatus::OpenFailed},
        {device ? full : std::string(), SaveStatus::WriteFailed},
        {dir.filePath("latin").toStdString() + "\xe4.txt", SaveStatus::OpenFailed},  // not UTF-8
        {locks.Lock(locked) ? kept.string() : std::string(), SaveStatus::OpenFailed},
        {locks.Lock(readOnly) ? readOnly.toStdString() : std::string(), SaveStatus::OpenFailed},
    };
    for (const auto& c : cases) {
        if (c.path.empty()) continue;  // no way to lock a folder or file here
        SCOPED_TRACE(c.path);
        EXPECT_EQ(WriteResultsFile(c.path, HandGrid(1, 2), ','), c.status);
    }
    EXPECT_TRUE(!device || fs::is_character_file(full)) << "the device is written in place";
    EXPECT_EQ(ReadFile(kept), "old");
    EXPECT_EQ(ReadFile(readOnly.toStdString()), "old");
    EXPECT_FALSE(fs::exists(dir.filePath("missing").toStdString()));
}

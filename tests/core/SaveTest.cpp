// The one save routine against what a name can be: a file, nothing, a link,
// a loop, a FIFO, a device, a folder, a locked file, a name that is no text.
#include "Save.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

using namespace kelvaro;

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A new folder, removed with all in it.
struct TempDir {
    std::string dir = MakeTemp();
    static std::string MakeTemp() {
        std::string pattern = (fs::temp_directory_path() / "save-test-XXXXXX").string();
        return ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() { std::error_code ignored; fs::remove_all(dir, ignored); }
    fs::path operator/(const char* name) const { return fs::path(dir) / name; }
};

using Names = std::vector<std::string>;

// Everything in the folder, hidden names too, by name: a left temporary file shows.
Names Entries(const TempDir& dir) {
    Names names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

// State: a file of mode 0640 (0404 as root, who may write it anyway), links
// to it, a chain, links that loop or lead nowhere. Action: save through each.
// Expected: the file's content replaced through every link, each link still a
// link, the mode kept; loops and dangling links refused by their cause with
// nothing made; nothing left beside.
TEST(SaveFile, LinksFollowedLoopsAndDanglingRefused) {
    const TempDir dir;
    const fs::path target = dir / "target.txt", sub = dir / "sub";
    fs::create_directory(sub);
    std::ofstream(target) << "old";
    const auto mode = static_cast<fs::perms>(::geteuid() == 0 ? 0404 : 0640);
    fs::permissions(target, mode);
    fs::create_symlink("target.txt", dir / "link");
    fs::create_symlink("../link", sub / "chain"); // relative to its own folder
    fs::create_symlink(target, dir / "absolute");
    fs::create_symlink("self", dir / "self");
    fs::create_symlink("loop2", dir / "loop1");
    fs::create_symlink("loop1", dir / "loop2");
    fs::create_symlink("missing.txt", dir / "dangling");
    fs::create_symlink("nofolder/x.txt", dir / "dangling-folder");

    const struct {
        const char* name;
        SaveStatus status;
    } cases[] = {
        {"link", SaveStatus::Ok},           {"sub/chain", SaveStatus::Ok},
        {"absolute", SaveStatus::Ok},       {"self", SaveStatus::LinkLoop},
        {"loop1", SaveStatus::LinkLoop},    {"self/x.txt", SaveStatus::LinkLoop}, // a loop on the way
        {"dangling", SaveStatus::LinkDangles}, {"dangling-folder", SaveStatus::LinkDangles},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = std::string("new via ") + c.name;
        const fs::path path = dir / c.name;
        ASSERT_EQ(SaveFile(path.string(), bytes), c.status);
        std::error_code loop; // self/x.txt cannot even be looked at
        EXPECT_TRUE(fs::is_symlink(path, loop) || loop);
        if (c.status == SaveStatus::Ok) { EXPECT_EQ(ReadFile(target), bytes); }
        EXPECT_EQ(fs::symlink_status(target).permissions(), mode);
    }
    EXPECT_FALSE(fs::exists(dir / "missing.txt"));
    EXPECT_EQ(Entries(dir), Names({"absolute", "dangling", "dangling-folder", "link", "loop1",
                                         "loop2", "self", "sub", "target.txt"}));
    // The loop's text: CliErrors.
    EXPECT_EQ(SaveFailureText(SaveStatus::LinkDangles, "b"),
              "symbolisen linkin \"b\" kohdetta ei ole");
}

// State: a FIFO with a reader. Action: save 3 MB to it; then to one whose
// reader leaves without reading. Expected: the reader gets every byte and
// the FIFO stays; the second save fails (not the process, by SIGPIPE).
TEST(SaveFile, FifoWrittenInPlace) {
    const TempDir dir;
    const fs::path fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string bytes(3 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);

    // Held open for reading and writing, the FIFO lets the reader and the
    // save open at once and keeps the reader waiting until it is let go, so
    // a save that wrongly replaces the FIFO fails here rather than hangs.
    const int held = ::open(fifo.c_str(), O_RDWR);
    ASSERT_GE(held, 0);
    std::string received;
    std::thread reader([&] { received = ReadFile(fifo); });
    const SaveStatus status = SaveFile(fifo.string(), bytes);
    ::close(held);
    reader.join();
    EXPECT_EQ(status, SaveStatus::Ok);
    EXPECT_TRUE(received == bytes);
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));

    std::thread leaver([&] { ::close(::open(fifo.c_str(), O_RDONLY)); });
    EXPECT_EQ(SaveFile(fifo.string(), bytes), SaveStatus::WriteFailed);
    // Lets the reader go should the save not have opened the FIFO.
    ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
    leaver.join();
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
    EXPECT_EQ(Entries(dir), Names{"pipe"});
}

// State: character devices made here, one that takes everything (as 1,3) and
// one that is always full (as 1,7), and links to them. Action: save to each.
// Expected: written in place: the first takes the bytes, the second reports
// the failed write; both stay the same devices and nothing is left beside.
TEST(SaveFile, CharacterDevicesWrittenInPlace) {
    if (::geteuid() != 0) GTEST_SKIP() << "making a device node needs root";
    const TempDir dir;
    const struct {
        const char* name;
        unsigned minor;
        SaveStatus status;
    } cases[] = {{"null", 3, SaveStatus::Ok}, {"full", 7, SaveStatus::WriteFailed}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path node = dir / c.name;
        if (::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, c.minor)) != 0)
            GTEST_SKIP() << "no device nodes in " << dir.dir;
        const std::string link = node.string() + "-link";
        fs::create_symlink(c.name, link);
        for (const std::string& path : {node.string(), link}) {
            EXPECT_EQ(SaveFile(path, std::string(100000, 'x')), c.status);
            struct stat info {};
            ASSERT_EQ(::lstat(node.c_str(), &info), 0);
            EXPECT_TRUE(S_ISCHR(info.st_mode));
            EXPECT_EQ(info.st_rdev, makedev(1, c.minor));
            EXPECT_TRUE(fs::is_symlink(link));
        }
    }
    EXPECT_EQ(Entries(dir), Names({"full", "full-link", "null", "null-link"}));
}

// State: a file "old" of mode 0604 owned (as root) by another user. Action:
// saves that fail part way, by the sink or by an exception, then one that
// succeeds; a new file. Expected: the failures leave "old" and no new file;
// the success keeps mode and owner; a new file gets 0666 less the umask.
TEST(SaveFile, FailedSaveKeepsOldFileAndModeAndOwnerKept) {
    const TempDir dir;
    const fs::path kept = dir / "kept.txt";
    std::ofstream(kept) << "old";
    fs::permissions(kept, static_cast<fs::perms>(0604));
    const bool root = ::geteuid() == 0;
    if (root) { ASSERT_EQ(::chown(kept.c_str(), 4321, 4322), 0); }

    const auto failing = [](const SaveSink& sink) { return sink("half") && false; };
    EXPECT_EQ(SaveFile(kept.string(), failing), SaveStatus::WriteFailed);
    const auto throwing = [](const SaveSink& sink) -> bool {
        sink("half");
        throw std::runtime_error("stop");
    };
    EXPECT_THROW(SaveFile(kept.string(), throwing), std::runtime_error);
    EXPECT_EQ(ReadFile(kept), "old");
    EXPECT_EQ(Entries(dir), Names{"kept.txt"});

    const auto pieces = [](const SaveSink& sink) { return sink("new ") && sink("") && sink("file"); };
    ASSERT_EQ(SaveFile(kept.string(), pieces), SaveStatus::Ok);
    EXPECT_EQ(ReadFile(kept), "new file");
    struct stat info {};
    ASSERT_EQ(::stat(kept.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    if (root) { EXPECT_EQ(std::make_pair(info.st_uid, info.st_gid), std::make_pair(4321u, 4322u)); }

    const mode_t mask = ::umask(0);
    ::umask(mask);
    const fs::path fresh = dir / "new.txt";
    ASSERT_EQ(SaveFile(fresh.string(), "x"), SaveStatus::Ok);
    EXPECT_EQ(fs::status(fresh).permissions(), static_cast<fs::perms>(0666 & ~mask));
    EXPECT_EQ(Entries(dir), Names({"kept.txt", "new.txt"}));
}

// Paths that take no file are reported by cause, and an existing file in a
// folder that takes no new file, or one made read-only, stays as it was.
TEST(SaveFile, UnwritablePathsReported) {
    const TempDir dir;
    const std::string locked = (dir / "locked").string(), readOnly = (dir / "readonly.txt").string();
    const fs::path kept = locked + "/kept.txt";
    ASSERT_TRUE(fs::create_directory(locked));
    std::ofstream(kept) << "old";
    std::ofstream(readOnly) << "old";
    // Root passes permission bits; an immutable folder or file stops it too.
    struct Locks {
        const bool root = ::geteuid() == 0;
        Names held;
        static int Chattr(const char* flag, const std::string& path) {
            return std::system(("chattr " + std::string(flag) + " '" + path + "'").c_str());
        }
        bool Lock(const std::string& path) {
            if (root ? Chattr("+i", path) != 0 : ::chmod(path.c_str(), 0555) != 0) return false;
            held.push_back(path);
            return true;
        }
        ~Locks() {
            for (const std::string& path : held)
                root ? Chattr("-i", path) : ::chmod(path.c_str(), 0755);
        }
    } locks;

    const std::string latin = (dir / "latin").string() + "\xe4.txt";
    const struct {
        std::string path;
        SaveStatus status;
    } cases[] = {
        {(dir / "missing/folder/out.txt").string(), SaveStatus::OpenFailed},
        {dir.dir, SaveStatus::OpenFailed},
        {dir.dir + "/", SaveStatus::OpenFailed},
        {"", SaveStatus::OpenFailed},
        {latin, SaveStatus::NameNotUtf8},
        {std::string("nul\0.txt", 8), SaveStatus::NameNotUtf8},
        // Where no lock can be had the empty name stands in.
        {locks.Lock(locked) ? kept.string() : std::string(), SaveStatus::OpenFailed},
        {locks.Lock(readOnly) ? readOnly : std::string(), SaveStatus::OpenFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(SaveFile(c.path, "new"), c.status);
    }
    EXPECT_EQ(ReadFile(kept), "old");
    EXPECT_EQ(ReadFile(readOnly), "old");
    EXPECT_EQ(Entries(dir), Names({"locked", "readonly.txt"}));
    EXPECT_EQ(SaveFailureText(SaveStatus::NameNotUtf8, "/t/ä\xe4\x01.txt"),
              "tiedoston nimi \"/t/ä\\xE4\\x01.txt\" ei ole UTF-8-tekstiä");
    // The window's box: DialogsTest.
    EXPECT_EQ(SaveFailureText(SaveStatus::OpenFailed, "/t/ä"),
              "tiedostoa \"/t/ä\" ei voitu avata kirjoittamista varten");
}

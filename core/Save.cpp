#include "Save.h"

#include "Utf8Text.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <pthread.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kelvaro {

namespace {

// Linux follows at most this many links in one name; more is taken as a loop.
constexpr int kMaxLinks = 40;
// A name this long leaves room for the new file's prefix and suffix.
constexpr std::size_t kTempBaseBytes = 200;

std::string Folder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string Leaf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Closes its descriptor on every way out; Close() reports the close's result.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int Get() const { return fd_; }
    bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

// A reader that leaves a FIFO would end the process with SIGPIPE: while this
// lives, the write fails with EPIPE instead and the signal it raised is taken
// back. Per thread, so the window's other threads are not touched.
class PipeSignalHeld {
public:
    PipeSignalHeld() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &before_);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    }
    PipeSignalHeld(const PipeSignalHeld&) = delete;
    PipeSignalHeld& operator=(const PipeSignalHeld&) = delete;
    ~PipeSignalHeld() {
        if (sigismember(&before_, SIGPIPE) == 1) return; // it stays blocked anyway
        sigset_t pending;
        sigpending(&pending);
        if (!wasPending_ && sigismember(&pending, SIGPIPE) == 1) {
            const timespec now{};
            sigtimedwait(&pipe_, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &before_, nullptr);
    }

private:
    sigset_t pipe_{}, before_{};
    bool wasPending_ = false;
};

enum class Kind { Missing, Regular, InPlace, Other };

struct Target {
    Target() = default;
    explicit Target(SaveStatus refused) : status(refused) {}
    SaveStatus status = SaveStatus::Ok;
    std::string path; // the name with every link followed
    Kind kind = Kind::Missing;
    struct stat info {};
};

// Follows the name's links one by one: the kernel would follow a loop into
// ELOOP and a dangling link into a new file where the link points.
Target Resolve(std::string path) {
    for (int links = 0;; ++links) {
        Target target;
        target.path = path;
        if (::lstat(path.c_str(), &target.info) != 0) {
            if (errno == ELOOP)
                target.status = SaveStatus::LinkLoop; // a folder on the way
            else if (errno == ENOENT && links > 0)
                target.status = SaveStatus::LinkDangles;
            // Otherwise a new file, or a name the open below refuses.
            return target;
        }
        const mode_t mode = target.info.st_mode;
        if (!S_ISLNK(mode)) {
            target.kind = S_ISREG(mode)                                         ? Kind::Regular
                          : (S_ISCHR(mode) || S_ISFIFO(mode) || S_ISSOCK(mode)) ? Kind::InPlace
                                                                                : Kind::Other;
            return target;
        }
        if (links == kMaxLinks) return Target(SaveStatus::LinkLoop);
        // Some file systems give a link's size as 0.
        std::string to(
            std::max<std::size_t>(static_cast<std::size_t>(target.info.st_size), 4096) + 1, '\0');
        const ssize_t length = ::readlink(path.c_str(), to.data(), to.size());
        // A link changed while read is taken as a failed open rather than guessed.
        if (length <= 0 || static_cast<std::size_t>(length) >= to.size())
            return Target(SaveStatus::OpenFailed);
        to.resize(static_cast<std::size_t>(length));
        // A relative link is read from the link's own folder.
        path = to.front() == '/' ? to : Folder(path) + to;
    }
}

// A name beside the target that no other save is likely to pick.
std::string TempName(const std::string& folder, const std::string& leaf) {
    static std::atomic<unsigned> counter{0};
    thread_local std::mt19937_64 random([] {
        std::seed_seq seed{
            static_cast<unsigned>(::getpid()),
            static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()),
            counter.fetch_add(1)};
        return std::mt19937_64(seed);
    }());
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%012llx",
                  static_cast<unsigned long long>(random() & 0xffffffffffffULL));
    return folder + "." + leaf.substr(0, kTempBaseBytes) + suffix;
}

SaveStatus WriteInPlace(const Target& target, const SaveProducer& produce) {
    const PipeSignalHeld held;
    int fd = -1;
    do {
        // Neither created nor emptied: a device or pipe is only written to.
        fd = ::open(target.path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return SaveStatus::OpenFailed;
    Descriptor file(fd);
    struct stat info {};
    // Swapped for a file since it was looked at: writing it in place would
    // leave old bytes after the new ones.
    if (::fstat(fd, &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))
        return SaveStatus::OpenFailed;
    const bool written = produce([fd](std::string_view bytes) { return WriteAll(fd, bytes); });
    return file.Close() && written ? SaveStatus::Ok : SaveStatus::WriteFailed;
}

// Removes the new file unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (!kept_) ::unlink(path_.c_str());
    }
    const std::string& Path() const { return path_; }
    void Keep() { kept_ = true; }

private:
    std::string path_;
    bool kept_ = false;
};

SaveStatus Replace(const Target& target, const SaveProducer& produce) {
    const bool exists = target.kind == Kind::Regular;
    const std::string folder = Folder(target.path), leaf = Leaf(target.path);
    if (leaf.empty()) return SaveStatus::OpenFailed;
    // A file its owner made read-only is not replaced behind its back.
    if (exists && ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0)
        return SaveStatus::OpenFailed;

    // A new file gets the usual mode (umask and default ACL applied by the
    // system); one replacing a file stays private until it gets that file's.
    const mode_t mode = exists ? 0600 : 0666;
    std::string name;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        name = TempName(folder, leaf);
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd < 0 && errno != EEXIST && errno != EINTR) return SaveStatus::OpenFailed;
    }
    if (fd < 0) return SaveStatus::OpenFailed;
    TempFile temp(name);
    Descriptor file(fd);
    if (!produce([fd](std::string_view bytes) { return WriteAll(fd, bytes); }))
        return SaveStatus::WriteFailed;
    if (exists) {
        // Root replacing a user's file leaves it the user's; anyone else
        // cannot give a file away and keeps it (as any new file).
        const struct stat& old = target.info;
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
            ::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Stays this user's, with the old file's mode bits.
        }
        if (::fchmod(fd, old.st_mode & 0777) != 0) return SaveStatus::WriteFailed;
    }
    if (::fsync(fd) != 0 || !file.Close()) return SaveStatus::WriteFailed;

    // Turned into a device, pipe, link or folder meanwhile: not replaced.
    struct stat now {};
    if (::lstat(target.path.c_str(), &now) == 0 && !S_ISREG(now.st_mode))
        return SaveStatus::WriteFailed;
    if (::rename(temp.Path().c_str(), target.path.c_str()) != 0) return SaveStatus::WriteFailed;
    temp.Keep();
    // The rename itself reaches the disk with the folder; a file system that
    // cannot sync a folder still has the file whole.
    const Descriptor dir(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
    return SaveStatus::Ok;
}

} // namespace

SaveStatus CheckSaveName(const std::string& path) {
    if (path.empty()) return SaveStatus::OpenFailed;
    if (path.find('\0') != std::string::npos || !IsUtf8(path)) return SaveStatus::NameNotUtf8;
    return SaveStatus::Ok;
}

SaveStatus SaveFile(const std::string& path, const SaveProducer& produce) {
    if (const SaveStatus name = CheckSaveName(path); name != SaveStatus::Ok) return name;
    const Target target = Resolve(path);
    if (target.status != SaveStatus::Ok) return target.status;
    switch (target.kind) {
    case Kind::Missing:
    case Kind::Regular:
        return Replace(target, produce);
    case Kind::InPlace:
        return WriteInPlace(target, produce);
    case Kind::Other:
        break;
    }
    return SaveStatus::OpenFailed;
}

SaveStatus SaveFile(const std::string& path, std::string_view bytes) {
    return SaveFile(path, [bytes](const SaveSink& sink) { return sink(bytes); });
}

std::string SaveFailureText(SaveStatus status, const std::string& path) {
    // Quoted, with control characters and bytes that are not UTF-8 as \xNN.
    const std::string name = '"' + VisibleText(path) + '"';
    switch (status) {
    case SaveStatus::Ok:
        break;
    case SaveStatus::NameNotUtf8:
        return "tiedoston nimi " + name + " ei ole UTF-8-tekstiä";
    case SaveStatus::LinkLoop:
        return "symbolinen linkki " + name + " kiertää kehää";
    case SaveStatus::LinkDangles:
        return "symbolisen linkin " + name + " kohdetta ei ole";
    case SaveStatus::OpenFailed:
        return "tiedostoa " + name + " ei voitu avata kirjoittamista varten";
    case SaveStatus::WriteFailed:
        return "tiedostoon " + name + " kirjoittaminen epäonnistui";
    }
    return {};
}

} // namespace kelvaro

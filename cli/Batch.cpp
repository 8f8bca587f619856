#include "Batch.h"

#include "BatchFile.h"
#include "BatchOutput.h"
#include "Conversions.h"
#include "Csv.h"
#include "InputScaling.h"
#include "Kelvaro.h"
#include "ListValuation.h"
#include "Options.h"
#include "PeopleText.h"
#include "Refusals.h"
#include "ShareOutput.h"
#include "TerminalLine.h"
#include "Utf8Text.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <memory>
#include <streambuf>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace kelvaro {

namespace {

// Rows done, of how many, and the rate, redrawn on one terminal line.
class Progress {
public:
    Progress(std::ostream& err, bool on, int64_t total) : line_(err, on), total_(total) {}

    void Update(int64_t done, bool last = false) {
        if (!line_.On()) return;
        const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        // Text for people: the regional separator.
        const std::string rate =
            PeopleNumber(seconds > 0 ? done / seconds : 0.0, 1, DecimalSeparator());
        std::string text = "kelvaro: rivejä " + std::to_string(done);
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "/" + string.
        if (total_ >= 0) text.append("/").append(std::to_string(total_));
        text.append(", ").append(rate).append(" riviä/s");
        line_.Show(text, last);
        if (last) line_.End(true);
    }

private:
    using Clock = std::chrono::steady_clock;
    TerminalLine line_;
    int64_t total_;
    Clock::time_point start_ = Clock::now();
};

int64_t CountRows(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    int64_t lines = 0;
    char buffer[1 << 16];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0)
        lines += std::count(buffer, buffer + file.gcount(), '\n');
    return std::max<int64_t>(lines - 1, 0);
}

// Standard input read with read(2): a line from a pipe is seen as soon as it
// is written, and a read error sets badbit instead of passing for the end.
class FdBuffer : public std::streambuf {
public:
    explicit FdBuffer(int fd) : fd_(fd), buffer_(new char[kSize]) {}

protected:
    int_type underflow() override {
        if (gptr() == egptr()) {
            ssize_t n = 0;
            do n = ::read(fd_, buffer_.get(), kSize);
            while (n < 0 && errno == EINTR);
            if (n < 0) throw std::ios_base::failure("read");
            if (n == 0) return traits_type::eof();
            setg(buffer_.get(), buffer_.get(), buffer_.get() + n);
        }
        return traits_type::to_int_type(*gptr());
    }

private:
    static constexpr std::size_t kSize = 1 << 16;
    int fd_;
    std::unique_ptr<char[]> buffer_;
};

// Values the rows after the header, each line written and flushed as soon
// as it and every row before it are done. Returns the rows that failed.
int64_t ValueRows(LineReader& reader, const BatchSettings& settings, std::ostream& out,
                  Progress& progress) {
    const BatchOutput output(settings);
    out << output.Header();
    out.flush();
    bool written = static_cast<bool>(out);
    int64_t done = 0;
    ListValuation list(settings.Columns, settings.Shared, settings.Jobs,
                       [&](const ListRow& row, const WarrantRun& run) {
                           out << output.Format(row, run);
                           out.flush();
                           progress.Update(++done);
                           return static_cast<bool>(out);
                       });
    for (ListRow row; written && NextBatchRow(reader, settings, row);)
        written = list.Submit(std::move(row));
    written = written && list.Finish();
    progress.Update(list.Done(), true);
    if (!written || !out)
        throw BatchError{kExitFile, "vakiotulosteeseen kirjoittaminen epäonnistui"};
    return list.Failed();
}

} // namespace

int RunBatch(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
             std::ostream& err, bool progressShown, int64_t totalRows) {
    try {
        BatchSettings settings = ReadBatchSettings(args);
        LineReader reader(in);
        static_cast<BatchHeader&>(settings) = ReadBatchHeader(reader, settings.Path, "--batch: ");
        Progress progress(err, progressShown, totalRows);
        const int64_t failed = ValueRows(reader, settings, out, progress);
        if (reader.Failed()) throw BatchError{kExitUsage, ReadFailedMessage(settings.Path)};
        return failed > 0 ? kExitSomeRowsFailed : kExitOk;
    } catch (const BatchError& e) {
        err << "kelvaro: " << VisibleText(e.Message) << '\n';
        err.flush();
        return e.Status;
    } catch (const std::exception& e) {
        err << "kelvaro: odottamaton virhe: " << VisibleText(e.what()) << '\n';
        err.flush();
        return kExitEngine;
    }
}

int RunBatchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string path;
    try {
        path = kelvaro::ParsedArgs(args).Text("--batch");
    } catch (const InputError& e) {
        err << "kelvaro: " << VisibleText(e.what()) << '\n';
        return kExitUsage;
    }
    const bool progress = IsTerminalStderr(err);
    struct stat info {};
    if (path == "-") {
        const char* why = fstat(STDIN_FILENO, &info) != 0 ? "se on suljettu"
                          : S_ISDIR(info.st_mode)         ? "se on hakemisto"
                                                          : nullptr;
        if (why != nullptr) {
            err << "kelvaro: vakiosyötettä ei voi lukea: " << why << '\n';
            return kExitUsage;
        }
        FdBuffer buffer(STDIN_FILENO);
        std::istream in(&buffer);
        return RunBatch(args, in, out, err, progress);
    }
    std::ifstream file;
    bool regular = false;
    try {
        file = OpenBatchFile(path, &regular);
    } catch (const BatchError& e) {
        err << "kelvaro: " << VisibleText(e.Message) << '\n';
        return e.Status;
    }
    return RunBatch(args, file, out, err, progress, progress && regular ? CountRows(path) : -1);
}

} // namespace kelvaro

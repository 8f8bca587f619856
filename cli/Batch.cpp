#include "Batch.h"

#include "Conversions.h"
#include "Kelvaro.h"
#include "KernelThreads.h"
#include "NumberText.h"
#include "Output.h"
#include "PeopleText.h"
#include "ShareOutput.h"
#include "TerminalLine.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <streambuf>
#include <string_view>
#include <thread>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// What a batch does with each of kelvaro's options on its command line. An
// option missing here is refused (and the batch tests name it until it is
// classified).
enum class BatchUse {
    Column,  // a row's input, its column named without the dashes; the command
             // line's value is every row's default
    Setting, // the batch's own
    Wins,    // shown instead of running the batch
    Refused, // each row gives only its figures: no listing, file, chart or other text
};
constexpr std::pair<std::string_view, BatchUse> kBatchUses[] = {
    // The columns in the order the help lists them.
    {"--type", BatchUse::Column},
    {"--side", BatchUse::Column},
    {"--strike", BatchUse::Column},
    {"--multiplier", BatchUse::Column},
    {"--margin", BatchUse::Column},
    {"--valuation", BatchUse::Column},
    {"--expiry", BatchUse::Column},
    {"--dividend-date", BatchUse::Column},
    {"--dividend", BatchUse::Column},
    {"--steps-per-day", BatchUse::Column},
    {"--volatility", BatchUse::Column},
    {"--rate", BatchUse::Column},
    {"--open", BatchUse::Column},
    {"--weekend", BatchUse::Column},
    {"--share", BatchUse::Column},
    {"--price", BatchUse::Column},
    {"--batch", BatchUse::Setting},
    {"--batch-format", BatchUse::Setting},
    {"--jobs", BatchUse::Setting},
    {"--help", BatchUse::Wins},
    {"--version", BatchUse::Wins},
    {"--results", BatchUse::Refused},
    {"--decimal-separator", BatchUse::Refused},
    {"--check", BatchUse::Refused},
    {"--value-at", BatchUse::Refused},
    {"--json", BatchUse::Refused},
    {"--scenario", BatchUse::Refused},
    {"--scenario-prices", BatchUse::Refused},
    {"--scenario-dates", BatchUse::Refused},
    {"--chart", BatchUse::Refused},
    {"--grid", BatchUse::Refused},
};

BatchUse BatchUseOf(std::string_view option) {
    for (const auto& [name, use] : kBatchUses)
        if (name == option) return use;
    return BatchUse::Refused;
}

// The options a row may set, as its columns are named.
const std::vector<std::string_view>& Columns() {
    static const std::vector<std::string_view> columns = [] {
        std::vector<std::string_view> names;
        for (const auto& [name, use] : kBatchUses)
            if (use == BatchUse::Column) names.push_back(name.substr(2));
        return names;
    }();
    return columns;
}

// A line longer than this is its row's error and its rest is read past
// without being kept: no input makes the batch hold more than this per row.
constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;

constexpr int kMaxJobs = 256;

struct BatchError {
    int Status;
    std::string Message;
};

// Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "\"" + string.
std::string Quoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// One line's fields. A field may be quoted ("15,5", "a ""b"""); unquoted
// fields lose their surrounding blanks. A record is one line: a quote left
// open at the line end is an error, as is text after a closing quote.
std::optional<std::string> SplitFields(std::string_view line, char separator,
                                       std::vector<std::string>& fields) {
    fields.clear();
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        std::string field;
        if (i < line.size() && line[i] == '"') {
            for (++i;; ++i) {
                if (i >= line.size()) return "lainausmerkki jää auki";
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        field += '"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i];
            }
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
            if (i < line.size() && line[i] != separator)
                return "lainausmerkeissä olevan kentän jälkeen ylimääräistä tekstiä";
        } else {
            const std::size_t end = std::min(line.find(separator, i), line.size());
            field = Trimmed(line.substr(i, end - i));
            i = end;
        }
        fields.push_back(std::move(field));
        if (i >= line.size()) return std::nullopt;
        ++i; // the separator
    }
}

// The input's lines, numbered from 1, each read into a buffer of bounded size.
class LineReader {
public:
    enum Result { kLine, kTooLong, kEnd };

    explicit LineReader(std::istream& in) : in_(in), buffer_(new char[kBufferSize]) {}

    // The next line without its end (LF or CRLF), or kTooLong for a line over
    // kMaxLineBytes, or kEnd (also when reading failed: in.bad()). The rest of
    // a long line is skipped only when the next is asked for, so that a header
    // from an endless source is refused at once.
    Result Next(std::string& line) {
        if (skipRest_) in_.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        skipRest_ = false;
        in_.getline(buffer_.get(), kBufferSize);
        const auto count = static_cast<std::size_t>(in_.gcount());
        if (count == 0 || in_.bad()) return kEnd;
        ++number_;
        if (in_.fail()) { // the buffer filled before the line's end: skipped by the next call
            in_.clear(in_.rdstate() & ~std::ios::failbit);
            skipRest_ = true;
            return kTooLong;
        }
        std::size_t length = count - (in_.eof() ? 0 : 1); // without the LF
        if (length > 0 && buffer_[length - 1] == '\r') --length;
        if (length > kMaxLineBytes) return kTooLong;
        line.assign(buffer_.get(), length);
        return kLine;
    }

    int64_t Number() const { return number_; }
    bool Failed() const { return in_.bad(); }

private:
    // The longest line, its CR and getline's terminating NUL.
    static constexpr std::size_t kBufferSize = kMaxLineBytes + 2;
    std::istream& in_;
    std::unique_ptr<char[]> buffer_;
    int64_t number_ = 0;
    bool skipRest_ = false;
};

std::string TooLongMessage() {
    return "rivi on liian pitkä: yli " + std::to_string(kMaxLineBytes) + " tavua";
}

constexpr std::string_view kReplacement = "\uFFFD"; // as UTF-8: EF BF BD

// A JSON string, valid UTF-8 whatever the text: control characters (and DEL) escaped,
// bytes that are not UTF-8 replaced by U+FFFD.
void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    kelvaro::ForEachUtf8(
        text,
        [&](std::string_view c) {
            if (c[0] == '"' || c[0] == '\\') {
                out += '\\';
                out += c;
            } else if (kelvaro::IsControl(c[0])) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c[0]));
                out += buffer;
            } else {
                out += c;
            }
        },
        [&](unsigned char) { out += kReplacement; });
    out += '"';
}

// An input field for a CSV cell, valid UTF-8 on one line: control characters
// but the tab, and bytes that are not UTF-8, replaced by U+FFFD.
std::string CsvText(std::string_view text) {
    std::string cell;
    cell.reserve(text.size());
    kelvaro::ForEachUtf8(
        text,
        [&](std::string_view c) {
            cell += kelvaro::IsControl(c[0]) && c[0] != '\t' ? kReplacement : c;
        },
        [&](unsigned char) { cell += kReplacement; });
    return cell;
}

// Without the two-space indentation of a pretty-printed member.
std::string_view Member(const std::string& json) {
    return Trimmed(json);
}

struct Row {
    int64_t Line = 0;
    std::vector<std::string> Fields;
    std::vector<std::string> Args;
    std::optional<std::string> Malformed; // the line could not be split
};

struct Settings {
    std::string Path; // --batch's value, "-" for standard input
    bool Csv = false;
    int Jobs = 1;
    char Separator = ',';
    std::vector<std::string> Columns;
    std::vector<std::pair<std::string, std::string>> Options; // from the command line
};

class Output {
public:
    explicit Output(const Settings& s) : s_(s) {}

    std::string Header() const {
        if (!s_.Csv) return {};
        std::vector<std::string> names{"Line"};
        names.insert(names.end(), s_.Columns.begin(), s_.Columns.end());
        names.insert(names.end(), {"Status", "Error"});
        for (const auto& [key, value] : FigureFields(CShareFigures{}))
            names.push_back("AtShare." + std::string(key));
        for (const char* key : {"Volatility", "Valuations", "Price"})
            names.push_back(std::string("ImpliedVolatility.") + key);
        std::string text;
        for (const std::string& name : names) Cell(text, name);
        text.back() = '\n';
        return text;
    }

    std::string Format(const Row& row, const ShareRun& run) const {
        return s_.Csv ? Csv(row, run) : Json(row, run);
    }

private:
    // The error is the message kelvaro prints for a single run, bytes and all.
    std::string Json(const Row& row, const ShareRun& run) const {
        std::string json = "{\"Line\": " + std::to_string(row.Line) + ", \"Inputs\": {";
        for (std::size_t i = 0; i < std::min(row.Fields.size(), s_.Columns.size()); ++i) {
            if (i > 0) json += ", ";
            AppendJsonString(json, s_.Columns[i]);
            json += ": ";
            AppendJsonString(json, row.Fields[i]);
        }
        json += "}, \"Status\": " + std::to_string(run.Status);
        if (run.Status != kExitOk) {
            json += ", \"Error\": ";
            AppendJsonString(json, kelvaro::VisibleText(run.Error));
        }
        if (run.Solved) json.append(", ").append(Member(VolatilityJson(*run.Solved, run.Price)));
        if (run.Figures) json.append(", ").append(Member(FiguresJson(*run.Figures)));
        return json + "}\n";
    }

    std::string Csv(const Row& row, const ShareRun& run) const {
        std::string text;
        Cell(text, std::to_string(row.Line));
        for (std::size_t i = 0; i < s_.Columns.size(); ++i)
            Cell(text, i < row.Fields.size() ? CsvText(row.Fields[i]) : std::string());
        Cell(text, std::to_string(run.Status));
        Cell(text, kelvaro::VisibleText(run.Error));
        const auto number = [&](std::optional<double> value) {
            std::string cell;
            if (value && std::isfinite(*value)) AppendShortest(cell, *value);
            Cell(text, cell);
        };
        for (const auto& [key, value] : FigureFields(run.Figures.value_or(CShareFigures{})))
            number(run.Figures ? value : std::nullopt);
        number(run.Solved ? std::optional(run.Solved->VolatilityPercent) : std::nullopt);
        number(run.Solved ? std::optional<double>(run.Solved->Valuations) : std::nullopt);
        number(run.Solved ? std::optional(run.Price) : std::nullopt);
        text.back() = '\n';
        return text;
    }

    // The cell and a separator after it, quoted when it would not read back.
    void Cell(std::string& text, std::string_view cell) const {
        const bool quote = cell.find_first_of(std::string{s_.Separator, '"', '\n', '\r'}) !=
                               std::string_view::npos ||
                           Trimmed(cell).size() != cell.size();
        if (!quote) {
            text.append(cell);
        } else {
            text += '"';
            for (const char c : cell) text.append(c == '"' ? 2 : 1, c);
            text += '"';
        }
        text += s_.Separator;
    }

    const Settings& s_;
};

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
        if (total_ >= 0) text += "/" + std::to_string(total_);
        line_.Show(text + ", " + rate + " riviä/s", last);
        if (last) line_.End(true);
    }

private:
    using Clock = std::chrono::steady_clock;
    TerminalLine line_;
    int64_t total_;
    Clock::time_point start_ = Clock::now();
};

// Workers take rows from a queue and leave their output lines keyed by
// sequence number; a writer thread writes (and flushes) each as soon as it and
// every row before it are done, so that a row from a slow pipe shows before the
// next line arrives. At most `window` rows are between being read and written.
class Pool {
public:
    Pool(const Output& output, int jobs, std::ostream& out, Progress& progress)
        : output_(output), out_(out), progress_(progress),
          window_(4 * static_cast<std::size_t>(jobs)) {
        for (int i = 0; i < jobs; ++i) workers_.emplace_back([this] { Work(); });
        writer_ = std::thread([this] { Write(); });
    }

    ~Pool() {
        {
            std::lock_guard lock(m_);
            closed_ = true;
            queue_.clear();
        }
        workReady_.notify_all();
        resultReady_.notify_all();
        for (std::thread& t : workers_) t.join();
        writer_.join();
    }

    // Queues a row once there is room in the window. False when `out` failed.
    bool Submit(Row row) {
        std::unique_lock lock(m_);
        space_.wait(lock, [this] { return read_ - written_ < window_ || outFailed_; });
        if (outFailed_) return false;
        queue_.emplace_back(read_++, std::move(row));
        lock.unlock();
        workReady_.notify_one();
        return true;
    }

    // Waits until every queued row is written. False when `out` failed.
    bool Finish() {
        std::unique_lock lock(m_);
        space_.wait(lock, [this] { return written_ == read_ || outFailed_; });
        return !outFailed_;
    }

    int64_t Failed() const {
        std::lock_guard lock(m_);
        return failed_;
    }
    int64_t Written() const {
        std::lock_guard lock(m_);
        return static_cast<int64_t>(written_);
    }

private:
    struct Result {
        std::string Text;
        bool Failed = false;
    };

    void Work() {
        // Each worker values whole warrants on its own thread.
        UseKernelThreadsOnThisThread(false);
        for (;;) {
            std::unique_lock lock(m_);
            workReady_.wait(lock, [this] { return closed_ || !queue_.empty(); });
            if (queue_.empty()) return;
            auto [seq, row] = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            ShareRun run;
            if (row.Malformed) {
                run.Status = kExitUsage;
                run.Error = *row.Malformed;
            } else {
                run = RunShare(row.Args);
            }
            Result result{output_.Format(row, run), run.Status != kExitOk};
            lock.lock();
            done_.emplace(seq, std::move(result));
            lock.unlock();
            resultReady_.notify_all();
        }
    }

    // Whether the next row to write is finished. Rows finish while the lock is
    // let go for writing, so a wait must look rather than trust a wake-up.
    bool NextDone() const { return !done_.empty() && done_.begin()->first == written_; }

    // Writes the finished rows that are next in order, outside the lock.
    void Write() {
        std::unique_lock lock(m_);
        for (;;) {
            resultReady_.wait(lock, [this] { return closed_ || NextDone(); });
            if (closed_) return;
            std::string text;
            std::size_t count = 0;
            for (auto it = done_.begin(); it != done_.end() && it->first == written_ + count;
                 it = done_.erase(it)) {
                text += it->second.Text;
                failed_ += it->second.Failed;
                ++count;
            }
            lock.unlock();
            out_ << text;
            out_.flush();
            const bool ok = static_cast<bool>(out_);
            lock.lock();
            written_ += count;
            outFailed_ = !ok;
            progress_.Update(static_cast<int64_t>(written_));
            space_.notify_all();
            if (!ok) return;
        }
    }

    const Output& output_;
    std::ostream& out_;
    Progress& progress_;
    const std::size_t window_;
    mutable std::mutex m_;
    std::condition_variable workReady_, resultReady_, space_;
    std::deque<std::pair<std::size_t, Row>> queue_;
    std::map<std::size_t, Result> done_;
    std::size_t read_ = 0, written_ = 0;
    int64_t failed_ = 0;
    bool closed_ = false, outFailed_ = false;
    std::vector<std::thread> workers_;
    std::thread writer_;
};

// The command line's options: batch settings apart, options a batch does not
// use refused, the rest as every row's defaults.
Settings ReadSettings(const std::vector<std::string>& args) {
    Settings s;
    std::string message;
    if (!ReadOptions(args, s.Options, message)) throw BatchError{kExitUsage, message};
    s.Jobs = static_cast<int>(std::clamp(UsableCpus(), 1u, static_cast<unsigned>(kMaxJobs)));
    std::erase_if(s.Options, [&](const std::pair<std::string, std::string>& option) {
        const auto& [name, value] = option;
        const BatchUse use = BatchUseOf(name);
        if (use != BatchUse::Column && use != BatchUse::Setting)
            throw BatchError{kExitUsage, "valitsinta " + name +
                                             " ei voi käyttää yhdessä valitsimen --batch kanssa"};
        if (name == "--batch") {
            s.Path = value;
        } else if (name == "--batch-format") {
            if (value != "json" && value != "csv")
                throw BatchError{kExitUsage, "virheellinen arvo valitsimelle --batch-format: " +
                                                 Quoted(value) + " (json tai csv)"};
            s.Csv = value == "csv";
        } else if (name == "--jobs") {
            int jobs = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), jobs);
            if (ec != std::errc() || end != value.data() + value.size() || jobs < 1 ||
                jobs > kMaxJobs)
                throw BatchError{kExitUsage,
                                 "virheellinen arvo valitsimelle --jobs: " + Quoted(value) +
                                     " (kokonaisluku 1–" + std::to_string(kMaxJobs) + ")"};
            s.Jobs = jobs;
        }
        return use == BatchUse::Setting;
    });
    return s;
}

std::string ReadFailedMessage(const std::string& path) {
    return path == "-" ? "vakiosyötteen lukeminen epäonnistui"
                       : "tiedoston " + Quoted(path) + " lukeminen epäonnistui";
}

// The first line that is not blank; the separator is its: a semicolon if it
// has one, else a comma.
void ReadHeader(LineReader& reader, Settings& s) {
    const bool stdIn = s.Path == "-";
    std::string line;
    bool empty = true; // nothing but a byte order mark and one line end
    for (;;) {
        const LineReader::Result result = reader.Next(line);
        if (result == LineReader::kEnd) {
            if (reader.Failed()) throw BatchError{kExitUsage, ReadFailedMessage(s.Path)};
            throw BatchError{
                kExitUsage,
                "--batch: otsikkorivi puuttuu: " +
                    (empty ? (stdIn ? "vakiosyöte" : "tiedosto " + Quoted(s.Path)) + " on tyhjä"
                           : (stdIn ? "vakiosyötteessä" : "tiedostossa " + Quoted(s.Path)) +
                                 " on vain tyhjiä rivejä")};
        }
        if (result == LineReader::kTooLong)
            throw BatchError{kExitUsage, "--batch: otsikko" + TooLongMessage()};
        // A spreadsheet's byte order mark.
        if (reader.Number() == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
        empty = empty && reader.Number() == 1 && line.empty();
        if (!Trimmed(line).empty()) break;
    }
    s.Separator = line.find(';') != std::string::npos ? ';' : ',';
    if (const auto error = SplitFields(line, s.Separator, s.Columns))
        throw BatchError{kExitUsage, "--batch: otsikkorivi: " + *error};
    const std::vector<std::string_view>& columns = Columns();
    for (std::size_t i = 0; i < s.Columns.size(); ++i) {
        const std::string& name = s.Columns[i];
        if (name.empty())
            throw BatchError{kExitUsage, "--batch: otsikkorivin " + std::to_string(i + 1) +
                                             ". sarakkeen nimi on tyhjä"};
        if (std::find(columns.begin(), columns.end(), name) == columns.end()) {
            std::string known;
            for (std::string_view c : columns) known.append(known.empty() ? "" : ", ").append(c);
            throw BatchError{kExitUsage, "--batch: tuntematon sarake " + Quoted(name) +
                                             " (sarakkeet: " + known + ")"};
        }
        if (std::find(s.Columns.begin(), s.Columns.begin() + static_cast<std::ptrdiff_t>(i),
                      name) != s.Columns.begin() + static_cast<std::ptrdiff_t>(i))
            throw BatchError{kExitUsage,
                             "--batch: sarake " + Quoted(name) + " on otsikossa kahdesti"};
    }
}

// The row's command line: its non-empty fields, and the command line's
// options for the rest.
Row MakeRow(const Settings& s, int64_t lineNumber, const std::string& line) {
    Row row;
    row.Line = lineNumber;
    row.Malformed = SplitFields(line, s.Separator, row.Fields);
    if (!row.Malformed && row.Fields.size() != s.Columns.size())
        row.Malformed = "rivillä on " + std::to_string(row.Fields.size()) + " kenttää, otsikossa " +
                        std::to_string(s.Columns.size());
    // No command line can hold a NUL: a single run's message would be cut there.
    for (std::size_t i = 0; !row.Malformed && i < row.Fields.size(); ++i)
        if (row.Fields[i].find('\0') != std::string::npos)
            row.Malformed = "sarakkeen " + Quoted(s.Columns[i]) + " kentässä on NUL-tavu";
    if (row.Malformed) return row;
    std::vector<std::string> given;
    for (std::size_t i = 0; i < s.Columns.size(); ++i) {
        if (row.Fields[i].empty()) continue;
        given.push_back("--" + s.Columns[i]);
        row.Args.push_back(given.back() + "=" + row.Fields[i]);
    }
    for (const auto& [name, value] : s.Options)
        if (std::find(given.begin(), given.end(), name) == given.end())
            row.Args.push_back(value.empty() ? name : name + "=" + value);
    return row;
}

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

} // namespace

bool IsBatchCommand(const std::vector<std::string>& args) {
    bool batch = false;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "--version") return false;
        batch = batch || arg == "--batch" || arg.starts_with("--batch=");
    }
    return batch;
}

int RunBatch(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
             std::ostream& err, bool progressShown, int64_t totalRows) {
    try {
        Settings settings = ReadSettings(args);
        LineReader reader(in);
        ReadHeader(reader, settings);
        const Output output(settings);
        out << output.Header();
        out.flush();
        Progress progress(err, progressShown, totalRows);
        bool written = static_cast<bool>(out);
        int64_t failed = 0;
        {
            Pool pool(output, settings.Jobs, out, progress);
            std::string line;
            for (LineReader::Result result;
                 written && (result = reader.Next(line)) != LineReader::kEnd;) {
                Row row;
                if (result == LineReader::kTooLong) {
                    row.Line = reader.Number();
                    row.Malformed = TooLongMessage();
                } else if (Trimmed(line).empty()) {
                    continue;
                } else {
                    row = MakeRow(settings, reader.Number(), line);
                }
                written = pool.Submit(std::move(row));
            }
            written = written && pool.Finish();
            failed = pool.Failed();
            progress.Update(pool.Written(), true);
        }
        if (!written || !out)
            throw BatchError{kExitFile, "vakiotulosteeseen kirjoittaminen epäonnistui"};
        if (reader.Failed()) throw BatchError{kExitUsage, ReadFailedMessage(settings.Path)};
        return failed > 0 ? kExitSomeRowsFailed : kExitOk;
    } catch (const BatchError& e) {
        err << "kelvaro: " << kelvaro::VisibleText(e.Message) << '\n';
        err.flush();
        return e.Status;
    } catch (const std::exception& e) {
        err << "kelvaro: odottamaton virhe: " << kelvaro::VisibleText(e.what()) << '\n';
        err.flush();
        return kExitEngine;
    }
}

int RunBatchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::pair<std::string, std::string>> options;
    std::string message;
    if (!ReadOptions(args, options, message)) {
        err << "kelvaro: " << kelvaro::VisibleText(message) << '\n';
        return kExitUsage;
    }
    std::string path;
    for (const auto& [name, value] : options)
        if (name == "--batch") path = value;
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
    std::ifstream file(path, std::ios::binary);
    if (!file || stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        err << "kelvaro: tiedostoa " << kelvaro::VisibleText(Quoted(path)) << " ei voi lukea"
            << (file && S_ISDIR(info.st_mode) ? ": se on hakemisto" : "") << '\n';
        return kExitUsage;
    }
    return RunBatch(args, file, out, err, progress,
                    progress && S_ISREG(info.st_mode) ? CountRows(path) : -1);
}

std::string BatchHelpText() {
    const std::vector<std::string_view>& names = Columns();
    std::string columns;
    for (std::size_t i = 0; i < names.size(); ++i)
        columns.append(i == 0 ? "" : i == 8 ? ",\n  " : ",").append(names[i]);
    // The refused options, wrapped at 79 columns.
    std::vector<std::string_view> refusedNames;
    for (const auto& [name, use] : kBatchUses)
        if (use == BatchUse::Refused) refusedNames.push_back(name);
    std::string refused, line = " ";
    for (std::size_t i = 0; i < refusedNames.size(); ++i) {
        const std::string piece =
            std::string(refusedNames[i]) + (i + 1 < refusedNames.size() ? "," : "");
        if (line.size() > 1 && line.size() + 1 + piece.size() > 79) {
            refused += line + "\n";
            line = " ";
        }
        line.append(" ").append(piece);
    }
    refused += line + "\n";
    return "--batch lukee CSV-tiedoston, jonka otsikkorivillä ovat sarakkeiden nimet\n"
           "missä tahansa järjestyksessä (" +
           std::to_string(names.size()) + " mahdollista):\n  " + columns +
           "\n"
           "Erotin on ; tai , otsikkorivin mukaan. Puuttuva sarake tai tyhjä kenttä saa\n"
           "komentorivin arvon tai oletuksen; pilkkuerotellussa tiedostossa desimaalipilkku\n"
           "kirjoitetaan lainausmerkkeihin (\"15,5\"). Jokaisesta rivistä tulostuu\n"
           "JSON-rivi: Line, Inputs, Status ja joko Error (sama viesti ja paluuarvo kuin\n"
           "yhdellä warrantilla) tai ImpliedVolatility ja AtShare kuten\n"
           "--share --price --json. Virheellinen rivi ei keskeytä ajoa; rivi saa olla\n"
           "enintään " +
           std::to_string(kMaxLineBytes) +
           " tavua. Nämä valitsimet eivät käy yhdessä valitsimen --batch\n"
           "kanssa:\n" +
           refused;
}

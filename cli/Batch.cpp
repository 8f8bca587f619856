#include "Batch.h"

#include "AppCore.h"
#include "Conversions.h"
#include "Kelvaro.h"
#include "Kernel.h"
#include "ShareOutput.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The options a row may set, as its columns are named.
constexpr std::string_view kColumns[] = {"type",     "side",          "strike",     "multiplier",
                                         "margin",   "valuation",     "expiry",     "dividend-date",
                                         "dividend", "steps-per-day", "volatility", "rate",
                                         "open",     "weekend",       "share",      "price"};

// Options that make no sense for a list: each row prints its own figures.
constexpr std::string_view kRefused[] = {"--results", "--check", "--json", "--value-at"};

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

bool ReadLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
            out += buffer;
        } else {
            out += c;
        }
    }
    out += '"';
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
            AppendJsonString(json, run.Error);
        }
        if (run.Solved) json.append(", ").append(Member(VolatilityJson(*run.Solved, run.Price)));
        if (run.Figures) json.append(", ").append(Member(FiguresJson(*run.Figures)));
        return json + "}\n";
    }

    std::string Csv(const Row& row, const ShareRun& run) const {
        std::string text;
        Cell(text, std::to_string(row.Line));
        for (std::size_t i = 0; i < s_.Columns.size(); ++i)
            Cell(text, i < row.Fields.size() ? row.Fields[i] : std::string());
        Cell(text, std::to_string(run.Status));
        Cell(text, run.Error);
        const auto number = [&](std::optional<double> value) {
            std::string cell;
            if (value && std::isfinite(*value)) AppendJsonNumber(cell, *value);
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
    Progress(std::ostream& err, bool on, int64_t total) : err_(err), on_(on), total_(total) {}

    void Update(int64_t done, bool last = false) {
        if (!on_) return;
        const auto now = Clock::now();
        if (!last && now - shown_ < std::chrono::milliseconds(200)) return;
        shown_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        // Text for people: the regional separator.
        const std::string rate =
            PeopleNumber(seconds > 0 ? done / seconds : 0.0, 1, DecimalSeparator());
        err_ << "\rkelvaro: rivejä " << done;
        if (total_ >= 0) err_ << "/" << total_;
        err_ << ", " << rate << " riviä/s  " << (last ? "\n" : "") << std::flush;
    }

private:
    using Clock = std::chrono::steady_clock;
    std::ostream& err_;
    bool on_;
    int64_t total_;
    Clock::time_point start_ = Clock::now(), shown_{};
};

// Workers take rows from a queue and leave their output lines keyed by
// sequence number; the reading thread writes them in order. At most
// `window` rows are between being read and being written.
class Pool {
public:
    Pool(const Output& output, int jobs)
        : output_(output), window_(4 * static_cast<std::size_t>(jobs)) {
        for (int i = 0; i < jobs; ++i) workers_.emplace_back([this] { Work(); });
    }

    ~Pool() {
        {
            std::lock_guard lock(m_);
            closed_ = true;
            queue_.clear();
        }
        workReady_.notify_all();
        for (std::thread& t : workers_) t.join();
    }

    // Queues a row, first writing what is ready while the window is full.
    // False when `out` failed.
    bool Submit(Row row, std::ostream& out, Progress& progress) {
        std::unique_lock lock(m_);
        while (read_ - written_ >= window_) {
            if (!WriteReady(lock, out, progress)) return false;
            resultReady_.wait(lock, [this] { return read_ - written_ < window_ || NextDone(); });
        }
        queue_.emplace_back(read_++, std::move(row));
        lock.unlock();
        workReady_.notify_one();
        lock.lock();
        return WriteReady(lock, out, progress);
    }

    // Writes every remaining row in order.
    bool Finish(std::ostream& out, Progress& progress) {
        std::unique_lock lock(m_);
        while (written_ < read_) {
            if (!WriteReady(lock, out, progress)) return false;
            resultReady_.wait(lock, [this] { return written_ == read_ || NextDone(); });
        }
        return true;
    }

    int64_t Failed() const { return failed_; }
    int64_t Written() const { return static_cast<int64_t>(written_); }

private:
    struct Result {
        std::string Text;
        bool Failed = false;
    };

    void Work() {
        // Each worker values whole warrants on its own thread.
        engine_detail::UseKernelThreadsOnThisThread(false);
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
    bool WriteReady(std::unique_lock<std::mutex>& lock, std::ostream& out, Progress& progress) {
        std::string text;
        for (auto it = done_.begin(); it != done_.end() && it->first == written_ + pending_;
             it = done_.erase(it)) {
            text += it->second.Text;
            failed_ += it->second.Failed;
            ++pending_;
        }
        if (pending_ == 0) return true;
        lock.unlock();
        out << text;
        out.flush();
        const bool ok = static_cast<bool>(out);
        lock.lock();
        written_ += pending_;
        pending_ = 0;
        progress.Update(static_cast<int64_t>(written_));
        return ok;
    }

    const Output& output_;
    const std::size_t window_;
    std::mutex m_;
    std::condition_variable workReady_, resultReady_;
    std::deque<std::pair<std::size_t, Row>> queue_;
    std::map<std::size_t, Result> done_;
    std::size_t read_ = 0, written_ = 0, pending_ = 0;
    int64_t failed_ = 0;
    bool closed_ = false;
    std::vector<std::thread> workers_;
};

// The command line's options: batch settings apart, the rest as every row's defaults.
Settings ReadSettings(const std::vector<std::string>& args) {
    Settings s;
    std::string message;
    if (!ReadOptions(args, s.Options, message)) throw BatchError{kExitUsage, message};
    s.Jobs = static_cast<int>(
        std::clamp(engine_detail::UsableCpus(), 1u, static_cast<unsigned>(kMaxJobs)));
    std::erase_if(s.Options, [&](const std::pair<std::string, std::string>& option) {
        const auto& [name, value] = option;
        if (std::find(std::begin(kRefused), std::end(kRefused), name) != std::end(kRefused))
            throw BatchError{kExitUsage, "valitsinta " + name +
                                             " ei voi käyttää yhdessä valitsimen --batch kanssa"};
        if (name == "--batch-format") {
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
        return name == "--batch" || name == "--batch-format" || name == "--jobs";
    });
    return s;
}

// The separator is the header's: a semicolon if it has one, else a comma.
void ReadHeader(std::istream& in, Settings& s) {
    std::string line;
    if (!ReadLine(in, line)) {
        if (in.bad()) throw BatchError{kExitUsage, "syötteen lukeminen epäonnistui"};
        throw BatchError{kExitUsage, "--batch: otsikkorivi puuttuu"};
    }
    if (line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3); // a spreadsheet's byte order mark
    s.Separator = line.find(';') != std::string::npos ? ';' : ',';
    if (const auto error = SplitFields(line, s.Separator, s.Columns))
        throw BatchError{kExitUsage, "--batch: otsikkorivi: " + *error};
    for (std::size_t i = 0; i < s.Columns.size(); ++i) {
        const std::string& name = s.Columns[i];
        if (std::find(std::begin(kColumns), std::end(kColumns), name) == std::end(kColumns)) {
            std::string known;
            for (std::string_view c : kColumns) known.append(known.empty() ? "" : ", ").append(c);
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
        ReadHeader(in, settings);
        const Output output(settings);
        out << output.Header();
        Progress progress(err, progressShown, totalRows);
        bool written = true;
        int64_t failed = 0;
        {
            Pool pool(output, settings.Jobs);
            std::string line;
            for (int64_t number = 2; written && ReadLine(in, line); ++number)
                if (!Trimmed(line).empty())
                    written = pool.Submit(MakeRow(settings, number, line), out, progress);
            written = written && pool.Finish(out, progress);
            failed = pool.Failed();
            progress.Update(pool.Written(), true);
        }
        if (!written || !out)
            throw BatchError{kExitFile, "vakiotulosteeseen kirjoittaminen epäonnistui"};
        if (in.bad()) throw BatchError{kExitUsage, "syötteen lukeminen epäonnistui"};
        return failed > 0 ? kExitSomeRowsFailed : kExitOk;
    } catch (const BatchError& e) {
        err << "kelvaro: " << e.Message << '\n';
        err.flush();
        return e.Status;
    } catch (const std::exception& e) {
        err << "kelvaro: odottamaton virhe: " << e.what() << '\n';
        err.flush();
        return kExitEngine;
    }
}

int RunBatchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::pair<std::string, std::string>> options;
    std::string message;
    if (!ReadOptions(args, options, message)) {
        err << "kelvaro: " << message << '\n';
        return kExitUsage;
    }
    std::string path;
    for (const auto& [name, value] : options)
        if (name == "--batch") path = value;
    const bool progress = &err == &std::cerr && isatty(STDERR_FILENO);
    if (path == "-") return RunBatch(args, std::cin, out, err, progress);
    std::ifstream file(path, std::ios::binary);
    struct stat info {};
    if (!file || stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        err << "kelvaro: tiedostoa " << Quoted(path) << " ei voi lukea\n";
        return kExitUsage;
    }
    return RunBatch(args, file, out, err, progress,
                    progress && S_ISREG(info.st_mode) ? CountRows(path) : -1);
}

std::string BatchHelpText() {
    std::string columns;
    for (std::size_t i = 0; i < std::size(kColumns); ++i)
        columns.append(i == 0 ? "" : i == 8 ? ",\n  " : ",").append(kColumns[i]);
    return "--batch lukee CSV-tiedoston, jonka otsikkorivillä ovat sarakkeiden nimet\n"
           "missä tahansa järjestyksessä (" +
           std::to_string(std::size(kColumns)) + " mahdollista):\n  " + columns +
           "\n"
           "Erotin on ; tai , otsikkorivin mukaan. Puuttuva sarake tai tyhjä kenttä saa\n"
           "komentorivin arvon tai oletuksen; pilkkuerotellussa tiedostossa desimaalipilkku\n"
           "kirjoitetaan lainausmerkkeihin (\"15,5\"). Jokaisesta rivistä tulostuu\n"
           "JSON-rivi: Line, Inputs, Status ja joko Error (sama viesti ja paluuarvo kuin\n"
           "yhdellä warrantilla) tai ImpliedVolatility ja AtShare kuten\n"
           "--share --price --json. Virheellinen rivi ei keskeytä ajoa.\n";
}

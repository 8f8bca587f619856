// kelvaro --batch against single runs of the same inputs, in process: every
// row's figures bit for bit (the same shortest texts), every bad row its own
// error and status, order kept on several threads, bad headers and options a
// batch does not use refused, long lines bounded. (batch_io.sh drives the
// binary through pipes.)
#include "Batch.h"
#include "InProcess.h"
#include "Kelvaro.h"
#include "Options.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

using namespace kelvaro;

namespace {

using namespace std::string_literals;


Outcome Batch(const std::string& csv, std::vector<std::string> args) {
    std::istringstream in(csv);
    std::ostringstream out, err;
    args.insert(args.begin(), {"--batch", "-"});
    const int status = RunBatch(args, in, out, err);
    return {status, out.str(), err.str()};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The tail a batch line must end with for this single run: its members of
// --share --json on one line, or its error with quotes escaped.
std::string ExpectedTail(const Outcome& single) {
    if (single.status != 0) {
        std::string message = single.err.substr(std::string("kelvaro: ").size());
        message.pop_back(); // the line end
        std::string escaped;
        for (char c : message) escaped += c == '"' ? std::string("\\\"") : std::string(1, c);
        return "\"Status\": " + std::to_string(single.status) + ", \"Error\": \"" + escaped + "\"}";
    }
    std::string tail = "\"Status\": 0";
    for (std::string line : Lines(single.out)) {
        if (line == "{" || line == "}") continue;
        if (line.back() == ',') line.pop_back();
        tail += ", " + line.substr(2);
    }
    return tail + "}";
}

// Columns of the rows below; the valuation moment comes from the command line.
const std::vector<std::string> kColumns = {"type", "side", "strike", "margin", "dividend",
                                           "dividend-date", "expiry", "valuation", "volatility",
                                           "share", "price"};
const std::vector<std::vector<std::string>> kRows = {
    {"normal", "call", "15", "", "", "", "2006-04-21", "", "", "15", "0,15"}, // the README's solve
    {"turbo-shb", "put", "16", "", "", "", "2006-04-21", "", "25.5", "14", ""},
    {"turbo-sg", "call", "14", "0,5", "0.3", "2006-03-20", "2006-04-21", "", "", "15", ""},
    {"normal", "put", "15", "", "", "", "2006-04-21", "2006-04-21 10:00", "", "15", ""}, // expiry day
    {"normal", "call", "15", "", "", "", "2006-04-21", "2006-04-20 10:00", "", "15", ""}, // two days
    {"normal", "call", "1x", "", "", "", "2006-04-21", "", "", "15", ""},    // a letter in a number
    {"normal", "call", "15", "", "", "", "2006-04-22", "", "", "15", ""},    // weekend expiry
    {"normal", "call", "15", "", "", "", "2006-04-21", "", "0", "15", ""},   // volatility 0
    {"turbo-sg", "put", "15", "", "", "", "2006-04-21", "", "", "15", ""},   // knocked out
    {"turbo-shb", "call", "15", "", "", "", "2006-04-21", "", "", "14", "0,1"}, // and asked a price
    {"turbo-shb", "call", "13", "", "", "", "2006-04-21", "", "", "15", "0,4229"}, // 3 % over its value
    {"turbo-sg", "put", "18", "", "", "", "2007-03-01", "", "", "15", "0,5464"}, // valued once at 30 %
    {"normal", "call", "15", "", "", "", "2006-04-21", "", "", "", ""},      // no share: checked only
};
const std::vector<std::string> kCommandLine = {"--valuation", "2006-03-01 10:00"};

// A source that gives `first` once, then `next` again and again until
// `limit` bytes are served (none: it never ends).
struct Repeating : std::streambuf {
    std::string first, next;
    std::size_t limit, served = 0;
    Repeating(std::string f, std::string n, std::size_t l = SIZE_MAX) : first(std::move(f)), next(std::move(n)), limit(l) {}
    int_type underflow() override {
        std::string& block = served == 0 && !first.empty() ? first : next;
        if (served >= limit) return traits_type::eof();
        served += block.size();
        setg(block.data(), block.data(), block.data() + block.size());
        return traits_type::to_int_type(*gptr());
    }
};

TEST(Batch, EveryRowAsItsSingleRunInOrderOnSeveralThreads) {
    // Comma-separated, decimal commas quoted, a spreadsheet's line ends.
    std::string csv;
    for (const std::string& name : kColumns) csv += name + ",";
    csv.back() = '\r';
    csv += '\n';
    for (const auto& row : kRows) {
        for (const std::string& field : row)
            csv += (field.find(',') != std::string::npos ? "\"" + field + "\"" : field) + ",";
        csv.back() = '\r';
        csv += '\n';
    }
    std::vector<std::string> args = kCommandLine;
    args.insert(args.end(), {"--jobs", "3"});
    const Outcome batch = Batch(csv, args);
    EXPECT_EQ(batch.status, kExitSomeRowsFailed);
    EXPECT_EQ(batch.err, "");
    const std::vector<std::string> lines = Lines(batch.out);
    ASSERT_EQ(lines.size(), kRows.size());

    for (std::size_t r = 0; r < kRows.size(); ++r) {
        SCOPED_TRACE(r);
        // The same inputs as options of one run; an empty field is left out.
        std::vector<std::string> single = kRows[r][7].empty() ? kCommandLine : std::vector<std::string>{};
        for (std::size_t i = 0; i < kColumns.size(); ++i)
            if (!kRows[r][i].empty()) single.insert(single.end(), {"--" + kColumns[i], kRows[r][i]});
        const bool withShare = !kRows[r][9].empty();
        if (withShare) single.push_back("--json");
        const Outcome one = Single(single);
        EXPECT_TRUE(lines[r].starts_with("{\"Line\": " + std::to_string(r + 2) + ", "));
        if (one.status == kExitEngine && !kRows[r][10].empty()) {
            // A price that gives no volatility: the row is valued at its own
            // volatility, with the single run's message as the cause.
            std::vector<std::string> unpriced(single.begin(), single.end() - 3);
            unpriced.push_back("--json");
            const std::string cause = one.err.substr(9, one.err.size() - 10);
            const std::string tail = ExpectedTail(Single(unpriced));
            EXPECT_TRUE(lines[r].find("\"Status\": 0, \"ImpliedVolatility\": {\"Volatility\": null, ") !=
                        std::string::npos) << lines[r];
            EXPECT_TRUE(lines[r].find("\"Cause\": \"" + cause + "\"") != std::string::npos) << lines[r];
            EXPECT_TRUE(lines[r].ends_with(tail.substr(tail.find("\"AtShare\"")))) << lines[r];
        } else if (withShare || one.status != 0)
            EXPECT_TRUE(lines[r].ends_with(ExpectedTail(one))) << lines[r] << "\n" << ExpectedTail(one);
        else
            EXPECT_TRUE(lines[r].ends_with("\"Status\": 0}")) << lines[r];
    }

    // One thread writes the same lines.
    args.back() = "1";
    EXPECT_EQ(Batch(csv, args).out, batch.out);
}

TEST(Batch, SemicolonsCommandLineDefaultsAndMalformedRows) {
    // A byte order mark and blank lines before the header; lines keep their numbers.
    const Outcome batch = Batch("\xEF\xBB\xBF\r\n\n share;expiry\n15,5;2006-04-21\n\n"
                                "15;2006-04-21;x\n\"15;2006-04-21\n15;2006\0-04-21\n"s,
                                {"--valuation", "2006-03-01 10:00", "--strike", "15,5"});
    EXPECT_EQ(batch.status, kExitSomeRowsFailed);
    const std::vector<std::string> lines = Lines(batch.out);
    ASSERT_EQ(lines.size(), 4u);
    const Outcome one = Single({"--valuation", "2006-03-01 10:00", "--strike", "15,5", "--share",
                                "15,5", "--expiry", "2006-04-21", "--json"});
    EXPECT_TRUE(lines[0].starts_with("{\"Line\": 4, ")) << lines[0];
    EXPECT_TRUE(lines[0].ends_with(ExpectedTail(one))) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("{\"Line\": 6, ")) << lines[1];
    EXPECT_TRUE(lines[1].ends_with("\"Status\": 2, \"Error\": \"rivillä on 3 kenttää, otsikossa 2\"}"));
    EXPECT_TRUE(lines[2].ends_with("\"Status\": 2, \"Error\": \"lainausmerkki jää auki\"}"));
    // No command line holds a NUL: the row is refused whole, not cut at it.
    EXPECT_EQ(lines[3], "{\"Line\": 8, \"Inputs\": {\"share\": \"15\", \"expiry\": \"2006\\u0000-04-21\"}, "
                        "\"Status\": 2, \"Error\": \"sarakkeen \\\"expiry\\\" kentässä on NUL-tavu\"}");
}

// A line of up to 1 MiB without its end is read; a longer one, or one that
// never ends, is its row's error and the batch goes on.
TEST(Batch, LongLinesAreRowErrorsAndTheBatchGoesOn) {
    constexpr std::size_t kLimit = 1 << 20;
    const auto row = [](std::size_t length) { // "2006-04-21,   ...   15"
        std::string line = "2006-04-21,";
        line.append(length - line.size() - 2, ' ');
        return line + "15";
    };
    const std::string csv = "expiry,share\n" + row(kLimit) + "\n" + row(kLimit) + "\r\n" +
                            row(kLimit + 1) + "\n" + row(kLimit + 1) + "\r\n" + row(3 * kLimit) +
                            "\n2006-04-21,15\n" + std::string(3 * kLimit, '\0');
    const Outcome batch = Batch(csv, {"--valuation", "2006-03-01 10:00"});
    EXPECT_EQ(batch.status, kExitSomeRowsFailed);
    const std::vector<std::string> lines = Lines(batch.out);
    ASSERT_EQ(lines.size(), 7u);
    const std::string tooLong =
        "\"Inputs\": {}, \"Status\": 2, \"Error\": \"rivi on liian pitkä: yli 1048576 tavua\"}";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        const std::string start = "{\"Line\": " + std::to_string(i + 2) + ", ";
        if (i == 0 || i == 1 || i == 5)
            EXPECT_TRUE(lines[i].starts_with(start + "\"Inputs\": {\"expiry\": \"2006-04-21\", "
                                                     "\"share\": \"15\"}, \"Status\": 0, "))
                << lines[i];
        else
            EXPECT_EQ(lines[i], start + tooLong);
    }
}

TEST(Batch, CsvOutputHasTheJsonFields) {
    // The names are echoed, never read as inputs.
    const Outcome batch = Batch("name,expiry,share,underlying,type,strike,price\n"
                                "NOK4C15,2006-04-21,15,Nokia,,,\n,2006-04-21,1x,,,,\n"
                                ",2006-04-21,15,,,,0.15\nT,2006-04-21,15,,turbo-shb,13,0.4229\n",
                                {"--valuation", "2006-03-01 10:00", "--batch-format", "csv"});
    const std::vector<std::string> lines = Lines(batch.out);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_TRUE(lines[0].starts_with("Line,name,expiry,share,underlying,type,strike,price,Status,Error,"
                                     "AtShare.Share,AtShare.Value,"));
    EXPECT_TRUE(lines[0].ends_with(",ImpliedVolatility.Volatility,ImpliedVolatility.Valuations,"
                                   "ImpliedVolatility.Price,ImpliedVolatility.Outcome,ImpliedVolatility.Cause"));
    // The README's value at 15, and an error quoted with its quotes doubled.
    EXPECT_TRUE(lines[1].starts_with("2,NOK4C15,2006-04-21,15,Nokia,,,,0,,15,0.14155779751117264,"));
    EXPECT_TRUE(lines[1].ends_with(",,,,,"));
    EXPECT_TRUE(lines[2].starts_with("3,,2006-04-21,1x,,,,,2,\"virheellinen arvo valitsimelle --share: \"\"1x\"\"\","));
    // The README's solve; a turbo priced 3 % over its value keeps its figures.
    EXPECT_TRUE(lines[3].ends_with(",31.88,1,0.15,Solved,")) << lines[3];
    EXPECT_TRUE(lines[4].starts_with("5,T,2006-04-21,15,,turbo-shb,13,0.4229,0,,15,0.4106271821271189,")) << lines[4];
    EXPECT_NE(lines[4].find(",0.4229,Insensitive,Hinnalla 0.42 volatiliteettia ei voi päätellä: warrantin "
                            "arvo riippuu volatiliteetista vain vähän (vega alle 0.0005 "),
              std::string::npos) << lines[4];
}

// Rows that finish while the writer is busy writing the ones before: every
// row is still written, in order. A lost wake-up once left such a batch
// waiting for good at its end.
TEST(Batch, RowsFinishedWhileWritingAreWritten) {
    struct SlowBuffer : std::stringbuf {
        std::streamsize xsputn(const char* s, std::streamsize n) override {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return std::stringbuf::xsputn(s, n);
        }
    };
    std::string csv = "expiry,share\n";
    for (int i = 0; i < 6; ++i) csv += "2006-03-02,15\nx,15\n"; // a short valuation, a bad date
    for (int round = 0; round < 30; ++round) {
        SlowBuffer buffer;
        std::istringstream in(csv);
        std::ostream out(&buffer);
        std::ostringstream err;
        ASSERT_EQ(RunBatch({"--batch", "-", "--valuation", "2006-03-01 10:00", "--jobs", "2"}, in,
                           out, err),
                  kExitSomeRowsFailed);
        const std::vector<std::string> lines = Lines(buffer.str());
        ASSERT_EQ(lines.size(), 12u);
        ASSERT_TRUE(lines.back().starts_with("{\"Line\": 13, ")) << lines.back();
    }
}

// Output that stops taking bytes stops the batch: exit 4 even while rows
// keep coming (an endless source would otherwise be read to its end).
TEST(Batch, FailedOutputStopsAnEndlessBatch) {
    Repeating endless("expiry,share\n", "2006-03-02,15\n");
    struct Refusing : std::streambuf {
        int_type overflow(int_type) override { return traits_type::eof(); }
    } refusing;
    std::istream in(&endless);
    std::ostream out(&refusing);
    std::ostringstream err;
    EXPECT_EQ(RunBatch({"--batch", "-", "--valuation", "2006-03-01 10:00", "--jobs", "2"}, in, out, err),
              kExitFile);
    EXPECT_EQ(err.str(), "kelvaro: vakiotulosteeseen kirjoittaminen epäonnistui\n");
}

TEST(Batch, BadHeaderOrOptionIsAUsageErrorWithNothingWritten) {
    struct Case {
        std::string csv;
        std::vector<std::string> args;
        const char* message;
    } const cases[] = {
        {"", {}, "kelvaro: --batch: otsikkorivi puuttuu: vakiosyöte on tyhjä\n"},
        {"\xEF\xBB\xBF", {}, "kelvaro: --batch: otsikkorivi puuttuu: vakiosyöte on tyhjä\n"},
        {"\xEF\xBB\xBF\r\n \t\n\n", {},
         "kelvaro: --batch: otsikkorivi puuttuu: vakiosyötteessä on vain tyhjiä rivejä\n"},
        {"expiry,share,\n2006-04-21,15,\n", {}, "kelvaro: --batch: otsikkorivin 3. sarakkeen nimi on tyhjä\n"},
        {std::string((1 << 20) + 1, 'x'), {}, "kelvaro: --batch: otsikkorivi on liian pitkä: yli 1048576 tavua\n"},
        {"expiry,strke\n2006-04-21,15\n", {}, "kelvaro: --batch: tuntematon sarake \"strke\""},
        {"expiry;expiry\n", {}, "kelvaro: --batch: sarake \"expiry\" on otsikossa kahdesti\n"},
        {"expiry\n", {"--jobs", "0"}, "kelvaro: virheellinen arvo valitsimelle --jobs: \"0\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.csv.substr(0, 40));
        const Outcome batch = Batch(c.csv, c.args);
        EXPECT_EQ(batch.status, kExitUsage);
        EXPECT_EQ(batch.out, "");
        EXPECT_TRUE(batch.err.starts_with(c.message)) << batch.err;
    }
    // A header from a source of NUL bytes that does not end soon (--batch
    // /dev/zero) is refused at once, not read on to its end.
    Repeating zeros("", std::string(1 << 16, '\0'), std::size_t{256} << 20);
    std::istream in(&zeros);
    std::ostringstream out, err;
    EXPECT_EQ(RunBatch({"--batch", "-"}, in, out, err), kExitUsage);
    EXPECT_EQ(err.str(), "kelvaro: --batch: otsikkorivi on liian pitkä: yli 1048576 tavua\n");
    EXPECT_LE(zeros.served, std::size_t{2} << 20);

    // A read that fails after the header and a row is not taken for the end.
    struct Failing : std::stringbuf {
        Failing() : std::stringbuf("expiry,share\n2006-04-21,x\n") {}
        int_type underflow() override {
            if (gptr() == egptr()) throw std::ios_base::failure("EIO");
            return std::stringbuf::underflow();
        }
    } failing;
    std::istream broken(&failing);
    std::ostringstream rows, message;
    EXPECT_EQ(RunBatch({"--batch", "-"}, broken, rows, message), kExitUsage);
    EXPECT_EQ(Lines(rows.str()).size(), 1u);
    EXPECT_EQ(message.str(), "kelvaro: vakiosyötteen lukeminen epäonnistui\n");

    EXPECT_EQ(Single({"--batch", "/nonexistent/x.csv"}).status, kExitUsage);
    EXPECT_EQ(Single({"--jobs", "2", "--expiry", "2006-04-21"}).status, kExitUsage);
}

// Every option of kelvaro's table beside --batch: a row's inputs and the
// batch's own settings are used, --help and --version win, every other is
// refused before any row (today --scenario crashed and --chart was ignored).
// A new option fails here until it is put in this table.
TEST(Batch, EveryOptionIsUsedOrRefusedNoneIgnored) {
    enum Expect { kUsed, kWins, kRefused };
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("kelvaro-batch-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string file = (folder / "in.csv").string();
    std::ofstream(file) << "expiry,share\n2006-04-21,15\n";
    std::ofstream(folder / "closures.txt") << "2006-03-10\n";
    std::ofstream(folder / "a.kelvaro") << R"({"format": "kelvarolaskuri", "version": 1, "strike": 14})";
    const std::map<std::string_view, std::pair<std::string, Expect>> expected = {
        {"--valuation", {"2006-03-01 10:00", kUsed}},
        {"--expiry", {"2006-04-20", kUsed}},
        {"--type", {"turbo-shb", kUsed}},
        {"--side", {"put", kUsed}},
        {"--strike", {"16", kUsed}},
        {"--multiplier", {"0,1", kUsed}},
        {"--margin", {"0,4", kUsed}},
        {"--dividend-date", {"2006-03-20", kUsed}},
        {"--dividend", {"0,3", kUsed}},
        {"--dividends", {"2006-03-20:0,3;2006-04-03:0,2", kUsed}},
        {"--steps-per-day", {"10", kUsed}},
        {"--volatility", {"25", kUsed}},
        {"--rate", {"4", kUsed}},
        {"--open", {"50", kUsed}},
        {"--weekend", {"1", kUsed}},
        {"--share", {"14", kUsed}},
        {"--price", {"0,15", kUsed}},
        {"--holidays", {"helsinki", kUsed}},
        {"--closures", {(folder / "closures.txt").string(), kUsed}},
        {"--inputs", {(folder / "a.kelvaro").string(), kUsed}},
        {"--save-inputs", {(folder / "b.kelvaro").string(), kUsed}},
        {"--batch", {"", kUsed}}, // given once, below
        {"--batch-format", {"csv", kUsed}},
        {"--jobs", {"2", kUsed}},
        {"--help", {"", kWins}},
        {"--version", {"", kWins}},
        {"--results", {(folder / "results.txt").string(), kRefused}},
        {"--decimal-separator", {",", kRefused}},
        {"--check", {"", kRefused}},
        {"--value-at", {"15", kRefused}},
        {"--json", {"", kRefused}},
        {"--scenario", {"", kRefused}},
        {"--scenario-prices", {"14,15", kRefused}},
        {"--scenario-dates", {"2006-03-10", kRefused}},
        {"--chart", {(folder / "chart.png").string(), kRefused}},
        {"--grid", {(folder / "grid.csv").string(), kRefused}},
    };
    for (const kelvaro::OptionInfo& option : kelvaro::AllOptions()) {
        const std::string name(option.name);
        SCOPED_TRACE(name);
        const auto it = expected.find(name);
        ASSERT_NE(it, expected.end()) << "say whether --batch uses " << name;
        const auto& [value, expect] = it->second;
        std::vector<std::string> args = {"--batch", file};
        if (name != "--valuation") args.insert(args.end(), {"--valuation", "2006-03-01 10:00"});
        if (name != "--batch") args.push_back(option.argument.empty() ? name : name + "=" + value);
        const Outcome run = Single(args);
        if (expect == kRefused) {
            EXPECT_EQ(run.status, kExitUsage);
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.err, "kelvaro: valitsinta " + name +
                                   " ei voi käyttää yhdessä valitsimen --batch kanssa\n");
        } else if (expect == kWins) {
            EXPECT_EQ(run.status, kExitOk);
            EXPECT_TRUE(run.out.starts_with(name == "--help" ? "Käyttö:" : "kelvaro ")) << run.out;
        } else {
            EXPECT_EQ(run.status, kExitOk) << run.out << run.err;
            EXPECT_EQ(run.err, "");
            // Line 2's row, as JSON or (--batch-format) CSV.
            EXPECT_TRUE(run.out.starts_with("{\"Line\": 2, ") || run.out.find("\n2,") != std::string::npos)
                << run.out;
        }
    }
    EXPECT_FALSE(fs::exists(folder / "results.txt"));
    EXPECT_FALSE(fs::exists(folder / "chart.png"));
    fs::remove_all(folder);
}

} // namespace

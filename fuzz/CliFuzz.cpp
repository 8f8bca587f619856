// The command line: any argument vector ends in one of kelvaro's documented
// exit statuses, never a crash; nothing is printed on stdout on failure. The
// first byte may put --batch beside one option of kelvaro's table, with a
// value of its kind: every option, a new one too, meets a batch. After a blank
// line comes the file that --batch reads. A batch writes valid UTF-8 with no
// raw control characters, however bad its bytes.
#include "Batch.h"
#include "FuzzInput.h"
#include "Kelvaro.h"
#include "Options.h"
#include "Utf8Text.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

using namespace kelvaro;

namespace {

std::string ScratchPrefix() {
    // One set per process, so that fuzzers may run side by side.
    return "/tmp/kelvaro-fuzz-" + std::to_string(::getpid());
}

void RemoveScratch() {
    for (const char* kind : {"-results", "-chart.png", "-grid", "-batch", "-save-inputs"})
        std::remove((ScratchPrefix() + kind).c_str());
}

// A value the option could take: dates and price lists by the help's
// placeholder, else its default text or the first of its choices; a number
// otherwise (file names are replaced by scratch paths below).
std::string SampleValue(const kelvaro::OptionInfo& option) {
    const std::string_view placeholder = option.argument;
    if (placeholder.find("YYYY") != std::string_view::npos) return "2006-03-10";
    if (placeholder.find("P1") != std::string_view::npos) return "14,15";
    if (!option.defaultText.empty()) return std::string(option.defaultText);
    const std::string_view first = placeholder.substr(0, placeholder.find('|'));
    return first.size() < placeholder.size() ? std::string(first) : "15";
}

// Valid UTF-8 without control characters but the line end (and the tab, which
// CSV may hold).
bool Clean(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, i);
        const auto c = static_cast<unsigned char>(text[i]);
        if (length == 0 || ((c < 0x20 || c == 0x7F) && c != '\n' && c != '\t')) return false;
        i += length;
    }
    return true;
}

// The arguments, one a line, and after a blank line the file --batch reads,
// cut to a header and a few rows: each row is a whole valuation.
std::vector<std::string> SplitInput(std::string text, std::string& batch) {
    if (const size_t blank = text.find("\n\n"); blank != std::string::npos) {
        batch = text.substr(blank + 2);
        text.resize(blank);
        size_t end = 0;
        int lines = 0;
        while (lines < 5 && (end = batch.find('\n', end)) != std::string::npos) ++end, ++lines;
        if (lines == 5) batch.resize(end);
    }
    std::vector<std::string> args;
    std::string current;
    for (char c : text) {
        if (c == '\n') {
            args.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) args.push_back(current);
    return args;
}

// --batch and the option of kelvaro's table that `pick` names, if any.
void AddBatchOption(std::vector<std::string>& args, uint8_t pick) {
    const auto options = kelvaro::AllOptions();
    if (pick >= options.size()) return;
    bool hasBatch = false;
    for (const std::string& arg : args)
        hasBatch = hasBatch || arg == "--batch" || arg.rfind("--batch=", 0) == 0;
    if (!hasBatch) args.insert(args.end(), {"--batch", "-"});
    const kelvaro::OptionInfo& option = options[pick];
    args.emplace_back(option.name);
    if (!option.argument.empty()) args.push_back(SampleValue(option));
}

// Files go to and come from scratch paths, never a path the fuzzer made
// up, nor standard input; the batch file holds `batch`.
void UseScratchFiles(std::vector<std::string>& args, const std::string& batch) {
    static const bool removedAtExit = std::atexit(RemoveScratch) == 0;
    (void)removedAtExit;
    const std::string prefix = ScratchPrefix();
    for (const std::string option :
         {"--results", "--chart", "--grid", "--batch", "--closures", "--save-inputs", "--inputs"}) {
        // The chart's name needs an extension kelvaro draws; a document read
        // is one an earlier run saved.
        const std::string scratch =
            prefix + (option == "--inputs" ? std::string("-save-inputs") : option.substr(1)) +
            (option == "--chart" ? ".png" : "");
        for (size_t i = 0; i < args.size(); ++i) {
            if (args[i].rfind(option + "=", 0) == 0)
                args[i] = option + "=" + scratch;
            else if (args[i] == option && i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0)
                args[i + 1] = scratch;
        }
    }
    if (FILE* file = std::fopen((prefix + "-batch").c_str(), "wb")) {
        std::fwrite(batch.data(), 1, batch.size(), file);
        std::fclose(file);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const auto pick = in.Take<uint8_t>();
    std::string batch;
    std::vector<std::string> args = SplitInput(in.Rest(), batch);
    AddBatchOption(args, pick);
    UseScratchFiles(args, batch);

    std::ostringstream out, err;
    const int status = RunKelvaro(args, out, err);
    if (IsBatchCommand(args) && (!Clean(out.str()) || !Clean(err.str()))) std::abort();
    if (status == 5) return 0; // a batch with failed rows: each row says why
    if (status != 0 && status != 2 && status != 3 && status != 4) std::abort();
    if (status != 0 && !out.str().empty()) std::abort();
    if (status != 0 && err.str().empty()) std::abort();
    return 0;
}

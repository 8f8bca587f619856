// The command line: any argument vector ends in one of kelvaro's documented
// exit statuses, never a crash; nothing is printed on stdout on failure. After
// a blank line comes the file that --batch reads.
#include "FuzzInput.h"
#include "Kelvaro.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

std::string ScratchPrefix() {
    // One set per process, so that fuzzers may run side by side.
    return "/tmp/kelvaro-fuzz-" + std::to_string(::getpid());
}

void RemoveScratch() {
    for (const char* kind : {"-results", "-chart.png", "-batch"})
        std::remove((ScratchPrefix() + kind).c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    std::string text = in.Rest();
    std::string batch;
    if (const size_t blank = text.find("\n\n"); blank != std::string::npos) {
        batch = text.substr(blank + 2);
        text.resize(blank);
        // A header and a few rows: each row is a whole valuation.
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

    // Files go to and come from scratch paths, never a path the fuzzer made
    // up, nor standard input.
    static const bool removedAtExit = std::atexit(RemoveScratch) == 0;
    (void)removedAtExit;
    const std::string prefix = ScratchPrefix();
    for (const std::string option : {"--results", "--chart", "--batch"}) {
        // The chart's name needs an extension kelvaro draws.
        const std::string scratch = prefix + option.substr(1) + (option == "--chart" ? ".png" : "");
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

    std::ostringstream out, err;
    const int status = RunKelvaro(args, out, err);
    if (status == 5) return 0; // a batch with failed rows: each row says why
    if (status != 0 && status != 2 && status != 3 && status != 4) std::abort();
    if (status != 0 && !out.str().empty()) std::abort();
    if (status != 0 && err.str().empty()) std::abort();
    return 0;
}

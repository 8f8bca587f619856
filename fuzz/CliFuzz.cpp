// The command line: any argument vector ends in one of kelvaro's documented
// exit statuses, never a crash; nothing is printed on stdout on failure.
#include "FuzzInput.h"
#include "Kelvaro.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const std::string text = in.Rest();
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

    // Results and pictures go to scratch files, never to a path the fuzzer
    // made up.
    for (const std::string option : {"--results", "--chart"}) {
        const std::string scratch = "/tmp/kelvaro-fuzz" + option.substr(1);
        for (size_t i = 0; i < args.size(); ++i) {
            if (args[i].rfind(option + "=", 0) == 0)
                args[i] = option + "=" + scratch;
            else if (args[i] == option && i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0)
                args[i + 1] = scratch;
        }
    }

    std::ostringstream out, err;
    const int status = RunKelvaro(args, out, err);
    if (status != 0 && status != 2 && status != 3 && status != 4) std::abort();
    if (status != 0 && !out.str().empty()) std::abort();
    if (status != 0 && err.str().empty()) std::abort();
    return 0;
}

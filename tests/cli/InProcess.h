// kelvaro run in process, as its main() would run it: exit status and output.
#pragma once

#include "Kelvaro.h"

#include <sstream>
#include <string>
#include <vector>

namespace kelvaro {

struct Outcome {
    int status = -1;
    std::string out, err;
};

inline Outcome Single(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunKelvaro(args, out, err);
    return {status, out.str(), err.str()};
}

} // namespace kelvaro

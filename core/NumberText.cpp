#include "NumberText.h"

#include <charconv>
#include <cmath>

namespace kelvaro {

void AppendShortest(std::string& out, double value, char separator) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    for (const char* c = buffer; c != end; ++c) out += *c == '.' ? separator : *c;
}

} // namespace kelvaro

// FloatToStrF on any double, non-finite and subnormal ones included: bounded
// text of the expected characters, and the listing line never cut.
#include "FloatFormat.h"
#include "FuzzInput.h"

#include <cmath>
#include <cstdlib>
#include <string>

using namespace kelvaro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const double x = in.Take<double>();
    const int precision = static_cast<int8_t>(in.Take<uint8_t>());
    const int digits = static_cast<int8_t>(in.Take<uint8_t>());
    const char sep = (in.Take<uint8_t>() & 1) ? ',' : '.';

    const std::string s = FloatToStrF(x, TFloatFormat::ffGeneral, precision, digits, sep);
    if (s.empty() || s.size() > 32) std::abort();
    for (char c : s) {
        const bool ok = (c >= '0' && c <= '9') || c == '-' || c == 'E' || c == sep || c == 'I' ||
                        c == 'N' || c == 'F' || c == 'A';
        if (!ok) std::abort();
    }
    std::string appended = "x";
    AppendGeneral(appended, x, precision, digits, sep);
    if (appended != "x" + s) std::abort();

    std::string line;
    AppendListingLine(line, static_cast<int>(in.Take<int32_t>()), x, -x);
    if (line.size() < 24 || line.size() > 1000) std::abort();
    return 0;
}

#include "MemoryCheck.h"

#include "Lattice.h"
#include "Memory.h"

#include <charconv>

namespace kelvaro {

namespace {

std::string Gigabytes(double bytes, char separator) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, bytes / (1024.0 * 1024 * 1024),
                                   std::chars_format::fixed, 2)
                         .ptr;
    std::string s(text, end);
    for (char& c : s)
        if (c == '.') c = separator;
    return s + " Gt";
}

} // namespace

std::string MemoryRefusalText(double needed, double available, char separator) {
    if (needed <= available) return {};
    return "Hilan taulukot tarvitsevat " + Gigabytes(needed, separator) +
           " muistia, mutta käytettävissä on " + Gigabytes(available, separator);
}

std::string MemoryRefusal(const CGrid& inputs, bool withRows, char separator) {
    CLatticeSize size;
    if (!LatticeSize(inputs, size)) return {};
    return MemoryRefusalText(size.Bytes(withRows), UsableMemoryBytes(), separator);
}

} // namespace kelvaro

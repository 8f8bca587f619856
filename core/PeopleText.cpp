#include "PeopleText.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace kelvaro {

std::string Latin1ToUtf8(std::string_view latin1) {
    std::string text;
    text.reserve(latin1.size());
    for (const unsigned char c : latin1) {
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

std::string PeopleNumber(double value, int decimals, char separator) {
    char buffer[400]; // room for DBL_MAX in fixed notation with a few decimals
    auto result = std::to_chars_result{buffer, std::errc::value_too_large};
    if (decimals >= 0)
        result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                               decimals);
    if (result.ec != std::errc()) result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    std::replace(text.begin(), text.end(), '.', separator);
    return Latin1ToUtf8(text);
}

std::string Counted(long long count, std::string_view one, std::string_view many) {
    return std::to_string(count) + ' ' + std::string(count == 1 ? one : many);
}

} // namespace kelvaro

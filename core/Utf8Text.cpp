#include "Utf8Text.h"

#include <cstdio>

namespace kelvaro {

namespace {

constexpr std::string_view kReplacement = "\uFFFD"; // as UTF-8: EF BF BD

} // namespace

std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(i);
    if (lead < 0x80) return 1;
    // The second byte's range excludes overlong forms, surrogates and > U+10FFFF.
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - i < length || byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    return length;
}

std::string VisibleText(std::string_view text) {
    std::string visible;
    visible.reserve(text.size());
    const auto hex = [&](unsigned char c) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        visible.append({'\\', 'x', kHex[c >> 4], kHex[c & 0xF]});
    };
    const auto character = [&](std::string_view c) {
        if (IsControl(c[0]))
            hex(static_cast<unsigned char>(c[0]));
        else
            visible.append(c);
    };
    ForEachUtf8(text, character, hex);
    return visible;
}

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    ForEachUtf8(
        text,
        [&](std::string_view c) {
            if (c[0] == '"' || c[0] == '\\') {
                out += '\\';
                out += c;
            } else if (IsControl(c[0])) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c[0]));
                out += buffer;
            } else {
                out += c;
            }
        },
        [&](unsigned char) { out += kReplacement; });
    out += '"';
}

std::string OneLineText(std::string_view text) {
    std::string line;
    line.reserve(text.size());
    ForEachUtf8(
        text,
        [&](std::string_view c) { line += IsControl(c[0]) && c[0] != '\t' ? kReplacement : c; },
        [&](unsigned char) { line += kReplacement; });
    return line;
}

bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

} // namespace kelvaro

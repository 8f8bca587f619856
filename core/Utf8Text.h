// Text from outside (a CSV field, a message quoting one, a file name) made safe
// to show or write: UTF-8 checked character by character, control characters
// escaped. Shared by the save routine and every output.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvaro {

// The length (1-4) of the well-formed UTF-8 sequence starting at text[i], or 0
// when the byte starts none: overlong forms, surrogates and code points above
// U+10FFFF are not well-formed.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i);

// Hands each well-formed UTF-8 character of the text to `character` and each
// byte that starts none to `stray`, in order.
template <class Character, class Stray>
void ForEachUtf8(std::string_view text, Character character, Stray stray) {
    for (std::size_t i = 0; i < text.size();) {
        if (const std::size_t length = Utf8SequenceLength(text, i); length > 0) {
            character(text.substr(i, length));
            i += length;
        } else {
            stray(static_cast<unsigned char>(text[i++]));
        }
    }
}

// Below U+0020, and DEL.
inline bool IsControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// A message for people as it should reach a terminal: control characters
// (below U+0020 and DEL) and bytes that are not UTF-8 written as \xNN, so that
// they show rather than act, and a NUL cannot cut the message short.
std::string VisibleText(std::string_view text);

// Whether every byte of the text belongs to a well-formed UTF-8 character.
bool IsUtf8(std::string_view text);

// Appends a JSON string, valid UTF-8 whatever the text: control characters
// (and DEL) escaped, bytes that are not UTF-8 replaced by U+FFFD.
void AppendJsonString(std::string& out, std::string_view text);

// The text valid UTF-8 on one line: control characters but the tab, and
// bytes that are not UTF-8, replaced by U+FFFD.
std::string OneLineText(std::string_view text);

} // namespace kelvaro

#include "TerminalLine.h"

#include <iostream>

#include <unistd.h>

namespace kelvaro {

namespace {

// Characters as a terminal counts them: UTF-8 continuation bytes take none.
size_t Width(const std::string& text) {
    size_t n = 0;
    for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

} // namespace

void TerminalLine::Show(const std::string& text, bool now) {
    if (!on_) return;
    const auto t = Clock::now();
    if (!now && t - shown_ < std::chrono::milliseconds(200)) return;
    shown_ = t;
    const size_t width = Width(text);
    // Blanks over what a longer earlier text leaves.
    err_ << '\r' << text << std::string(shownWidth_ > width ? shownWidth_ - width : 0, ' ')
         << std::flush;
    shownWidth_ = std::max(shownWidth_, width);
}

void TerminalLine::End(bool keep) {
    if (!on_) return;
    if (keep)
        err_ << '\n';
    else if (shownWidth_ > 0)
        err_ << '\r' << std::string(shownWidth_, ' ') << '\r';
    err_ << std::flush;
    on_ = false;
}

bool IsTerminalStderr(const std::ostream& err) {
    return &err == &std::cerr && isatty(STDERR_FILENO);
}

} // namespace kelvaro

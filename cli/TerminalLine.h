// One line of standard error redrawn in place (carriage return) while long
// work runs, when standard error is a terminal; nothing at all otherwise.
#pragma once

#include <chrono>
#include <ostream>
#include <string>

namespace kelvaro {

class TerminalLine {
public:
    TerminalLine(std::ostream& err, bool on) : err_(err), on_(on) {}
    ~TerminalLine() { End(false); }

    bool On() const { return on_; }

    // Shows `text` in place of the last, unless that came less than 0.2 s
    // ago (`now` draws it anyway).
    void Show(const std::string& text, bool now = false);

    // Ends the line: kept, with a line end, or blanked (nothing left on the
    // screen). Nothing is drawn afterwards.
    void End(bool keep);

private:
    using Clock = std::chrono::steady_clock;
    std::ostream& err_;
    bool on_;
    size_t shownWidth_ = 0; // characters on the line now
    Clock::time_point shown_{};
};

// Whether `err` is this process's standard error and that is a terminal.
bool IsTerminalStderr(const std::ostream& err);

} // namespace kelvaro

// The width of the terminal the live displays draw on (the error stream), so
// that no live line wraps: a wrapped line takes two rows, and redrawing in
// place then leaves stale rows behind. The width is read at the start and read
// again after the terminal says it changed (SIGWINCH on POSIX; on Windows the
// console is asked at every draw, which costs little). While a TerminalWidth
// lives it owns the SIGWINCH handler.
#pragma once

#include <cstddef>
#include <string>

class TerminalWidth {
public:
    TerminalWidth();
    ~TerminalWidth();
    TerminalWidth(const TerminalWidth&) = delete;
    TerminalWidth& operator=(const TerminalWidth&) = delete;

    // Columns of the error stream's terminal; 80 when it cannot be told.
    size_t Columns();

private:
    size_t columns = 80;
    unsigned seen = 0;  // resizes already taken into account
    bool read = false;
};

// Below this many columns the displays give up live lines for plain ones.
constexpr size_t kLiveLineMinColumns = 40;

// `text` cut to at most `columns` bytes, never inside a UTF-8 sequence.
std::string CutToColumns(const std::string& text, size_t columns);

// `name` in at most `columns` bytes: its end, after "..", when it is longer
// (the end of a device path is the part that tells ports apart).
std::string ShortName(const std::string& name, size_t columns);

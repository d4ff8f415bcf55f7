// What `kestrune-cli download` shows while it runs, on the error stream so
// that standard output carries only the result. On a terminal: one line
// redrawn in place, a bar with percent, bytes sent, rate and time left; the
// bar narrows, then the line is cut, so that it never wraps. Otherwise, and
// on a terminal narrower than kLiveLineMinColumns: a plain line at start and
// at every tenth of the image.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "cli/TerminalWidth.h"

// "11.2 KiB/s" or "850 B/s".
std::string RateText(double bytesPerSecond);

// "[#####.....]  50%  32768/65536 bytes  11.2 KiB/s  0:03 left", `elapsed`
// seconds after the boot loader answered (0: no rate yet), with a bar of
// `barWidth` cells.
constexpr int kProgressBarWidth = 30;
std::string ProgressText(uint32_t total, uint32_t bytesSent, double elapsed,
                         int barWidth = kProgressBarWidth);

class DownloadProgress {
public:
    using Clock = std::chrono::steady_clock;

    DownloadProgress(std::ostream& out, bool terminal, uint32_t total);

    void Waiting(const std::string& port, uint32_t baudRate);  // before the Ready frame
    void Started();                                            // the boot loader answered
    void Update(uint32_t bytesSent);                           // after each acknowledged block
    void Finish();                                             // leaves the line complete

    // "[#####.....]  50%  32768/65536 bytes  11.2 KiB/s  0:03 left", as of
    // `now`, with a bar narrow enough for `columns`.
    std::string Line(uint32_t bytesSent, Clock::time_point now, size_t columns = SIZE_MAX) const;

private:
    bool Live();           // redrawn in place now
    size_t LineColumns();  // the longest line that fits now
    void Draw(const std::string& text);

    std::ostream& out;
    bool terminal;
    std::unique_ptr<TerminalWidth> width;  // on a terminal only
    uint32_t total;
    Clock::time_point startedAt{};
    Clock::time_point drawnAt{};
    bool started = false;
    bool lineOpen = false;  // a terminal line that is not finished yet
    uint32_t lastTenth = 0;
    uint32_t lastBytes = 0;
};

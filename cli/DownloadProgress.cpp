#include "cli/DownloadProgress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

}  // namespace

std::string RateText(double bytesPerSecond) {
    char text[32];
    if (bytesPerSecond >= 1024.0)
        std::snprintf(text, sizeof text, "%.1f KiB/s", bytesPerSecond / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
    return text;
}

namespace {

std::string Duration(double seconds) {
    const long long s = std::llround(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

}  // namespace

DownloadProgress::DownloadProgress(std::ostream& stream, bool isTerminal, uint32_t totalBytes)
    : out(stream), terminal(isTerminal), total(totalBytes) {
    if (terminal) width = std::make_unique<TerminalWidth>();
}

std::string DownloadProgress::Line(uint32_t bytesSent, Clock::time_point now,
                                   size_t columns) const {
    const double elapsed = started ? std::chrono::duration<double>(now - startedAt).count() : 0.0;
    std::string line = ProgressText(total, bytesSent, elapsed);
    if (line.size() > columns) {
        const size_t over = line.size() - columns;
        const int bar =
            over + 5 >= kProgressBarWidth ? 5 : kProgressBarWidth - static_cast<int>(over);
        line = ProgressText(total, bytesSent, elapsed, bar);
    }
    return line;
}

std::string ProgressText(uint32_t total, uint32_t bytesSent, double elapsed, int barWidth) {
    barWidth = std::max(barWidth, 1);
    const uint32_t percent = total == 0 ? 100 : static_cast<uint32_t>(100ull * bytesSent / total);
    const int filled = static_cast<int>(barWidth * static_cast<uint64_t>(percent) / 100);
    std::string line = "[";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(barWidth - filled), '.');
    line += "] ";
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%3u%%  %u/%u bytes", percent, bytesSent, total);
    line += numbers;
    if (bytesSent > 0 && elapsed > 0) {
        const double rate = bytesSent / elapsed;
        line += "  " + RateText(rate) + "  " + Duration((total - bytesSent) / rate) + " left";
    } else {
        line += "  --  -:-- left";
    }
    return line;
}

bool DownloadProgress::Live() {
    return terminal && width->Columns() >= kLiveLineMinColumns;
}

void DownloadProgress::Draw(const std::string& text) {
    if (Live()) {
        // One column short of the width: a line that fills the last column wraps on some terminals.
        out << '\r' << CutToColumns(text, width->Columns() - 1) << "\x1b[K"
            << std::flush;  // erase what a longer line left
        lineOpen = true;
    } else {
        if (lineOpen) out << '\n';
        lineOpen = false;
        out << text << '\n' << std::flush;
    }
    drawnAt = Clock::now();
}

size_t DownloadProgress::LineColumns() {
    return Live() ? width->Columns() - 1 : SIZE_MAX;
}

void DownloadProgress::Waiting(const std::string& port, uint32_t baudRate) {
    Draw("waiting for the boot loader on " + port + " at " + std::to_string(baudRate) + " baud...");
}

void DownloadProgress::Started() {
    started = true;
    startedAt = Clock::now();
    Draw((Live() ? "" : "progress: ") + Line(0, startedAt, LineColumns()));
}

void DownloadProgress::Update(uint32_t bytesSent) {
    lastBytes = bytesSent;
    const Clock::time_point now = Clock::now();
    if (Live()) {
        if (bytesSent == total || now - drawnAt >= kRedrawEvery)
            Draw(Line(bytesSent, now, LineColumns()));
        return;
    }
    const uint32_t tenth = total == 0 ? 10 : static_cast<uint32_t>(10ull * bytesSent / total);
    if (tenth > lastTenth) {
        lastTenth = tenth;
        Draw("progress: " + Line(bytesSent, now));
    }
}

void DownloadProgress::Finish() {
    if (Live() && started)
        Draw(
            Line(lastBytes, Clock::now(), LineColumns()));  // where it stopped, not the last redraw
    if (lineOpen) out << '\n' << std::flush;
    lineOpen = false;
}

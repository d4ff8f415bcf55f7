#include "cli/DownloadProgress.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr int kBarWidth = 30;
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
    : out(stream), terminal(isTerminal), total(totalBytes) {}

std::string DownloadProgress::Line(uint32_t bytesSent, Clock::time_point now) const {
    return ProgressText(total, bytesSent,
                        started ? std::chrono::duration<double>(now - startedAt).count() : 0.0);
}

std::string ProgressText(uint32_t total, uint32_t bytesSent, double elapsed) {
    const uint32_t percent = total == 0 ? 100 : static_cast<uint32_t>(100ull * bytesSent / total);
    const int filled = static_cast<int>(kBarWidth * static_cast<uint64_t>(percent) / 100);
    std::string line = "[";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(kBarWidth - filled), '.');
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

void DownloadProgress::Draw(const std::string& text) {
    if (terminal) {
        out << '\r' << text << "\x1b[K" << std::flush;  // erase what a longer line left
        lineOpen = true;
    } else {
        out << text << '\n' << std::flush;
    }
    drawnAt = Clock::now();
}

void DownloadProgress::Waiting(const std::string& port, uint32_t baudRate) {
    Draw("waiting for the boot loader on " + port + " at " + std::to_string(baudRate) + " baud...");
}

void DownloadProgress::Started() {
    started = true;
    startedAt = Clock::now();
    Draw((terminal ? "" : "progress: ") + Line(0, startedAt));
}

void DownloadProgress::Update(uint32_t bytesSent) {
    lastBytes = bytesSent;
    const Clock::time_point now = Clock::now();
    if (terminal) {
        if (bytesSent == total || now - drawnAt >= kRedrawEvery) Draw(Line(bytesSent, now));
        return;
    }
    const uint32_t tenth = total == 0 ? 10 : static_cast<uint32_t>(10ull * bytesSent / total);
    if (tenth > lastTenth) {
        lastTenth = tenth;
        Draw("progress: " + Line(bytesSent, now));
    }
}

void DownloadProgress::Finish() {
    if (terminal && started)
        Draw(Line(lastBytes, Clock::now()));  // where it stopped, not the last redraw
    if (lineOpen) out << '\n' << std::flush;
    lineOpen = false;
}

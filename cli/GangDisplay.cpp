#include "cli/GangDisplay.h"

#include <algorithm>
#include <cstdio>

#include "cli/BoardLog.h"
#include "cli/DownloadProgress.h"
#include "cli/ExitCodes.h"

namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr const char* kStuckText = "announcing without a pause; swap it or press Ctrl+C";

std::string Tally(uint32_t succeeded, uint32_t failed) {
    return std::to_string(succeeded) + " of " + std::to_string(succeeded + failed) +
           " boards succeeded";
}

std::string ShortTally(uint32_t succeeded, uint32_t failed) {
    return std::to_string(succeeded) + "/" + std::to_string(succeeded + failed) + " ok";
}

// "10.9K/s" for "10.9 KiB/s", "850B/s" for "850 B/s".
std::string ShortRate(double bytesPerSecond) {
    char text[32];
    if (bytesPerSecond >= 1024.0)
        std::snprintf(text, sizeof text, "%.1fK/s", bytesPerSecond / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.0fB/s", bytesPerSecond);
    return text;
}

constexpr const char* kStuckShort = "no pause: swap or Ctrl+C";

}  // namespace

GangDisplay::GangDisplay(std::ostream& stdOut, std::ostream& stdErr, bool isTerminal,
                         std::vector<std::string> names, uint32_t totalBytes, uint32_t baud,
                         bool repeating)
    : out(stdOut),
      err(stdErr),
      terminal(isTerminal),
      total(totalBytes),
      baudRate(baud),
      repeat(repeating) {
    if (terminal) width = std::make_unique<TerminalWidth>();
    for (std::string& name : names) {
        nameWidth = std::max(nameWidth, name.size());
        ports.emplace_back().name = std::move(name);
    }
}

std::string GangDisplay::Prefix(const Port& port) const {
    std::string prefix =
        port.name + (repeat ? ": board " + std::to_string(port.board) + ": " : ": ");
    if (port.serial) prefix += "serial " + std::to_string(*port.serial) + ": ";
    return prefix;
}

std::string GangDisplay::LiveLine(const Port& port, Clock::time_point now, int shorter) const {
    const size_t nameColumns = shorter == 0 ? nameWidth : std::min<size_t>(nameWidth, 14 - shorter);
    const std::string name = ShortName(port.name, nameColumns);
    std::string line = name + std::string(nameColumns - name.size(), ' ');
    if (repeat) line += "  board " + std::to_string(port.board);
    if (port.serial) line += "  serial " + std::to_string(*port.serial);
    if (port.stuck) line += ":";
    if (port.started) {
        const uint32_t percent = total == 0 ? 100 : static_cast<uint32_t>(100 * port.bytes / total);
        char numbers[64];
        std::snprintf(numbers, sizeof numbers, "  %3u%%", percent);
        line += numbers;
        if (shorter < 2) {
            std::snprintf(numbers, sizeof numbers, "  %llu/%u bytes",
                          static_cast<unsigned long long>(port.bytes), total);
            line += numbers;
        }
        const double elapsed =
            std::chrono::duration<double>(port.endedAt.value_or(now) - port.startedAt).count();
        const double rate =
            port.bytes > 0 && elapsed > 0 ? static_cast<double>(port.bytes) / elapsed : -1;
        if (rate >= 0) line += "  " + (shorter == 0 ? RateText(rate) : ShortRate(rate));
    }
    line += "  " + (port.stuck && shorter >= 2 ? std::string(kStuckShort) : port.state);
    if (repeat && port.succeeded + port.failed > 0 && shorter < 3)
        line += "  (" +
                (shorter == 0 ? Tally(port.succeeded, port.failed)
                              : ShortTally(port.succeeded, port.failed)) +
                ")";
    return line;
}

std::string GangDisplay::FittedLine(const Port& port, Clock::time_point now, size_t columns) const {
    std::string line;
    for (int shorter = 0; shorter <= 3; ++shorter) {
        line = LiveLine(port, now, shorter);
        if (line.size() <= columns) return line;
    }
    return CutToColumns(line, columns);
}

bool GangDisplay::Live() {
    if (!terminal) return false;
    const bool live = width->Columns() >= kLiveLineMinColumns;
    if (!live && drawn) {
        err << "\x1b[" << rowsDrawn << "F\x1b[J" << std::flush;
        drawn = false;
    }
    return live;
}

void GangDisplay::Draw() {
    if (!Live()) return;
    // One row short of the width: a line that fills the last column wraps on some terminals.
    const size_t columns = width->Columns() - 1;
    if (drawn) {
        err << "\x1b[" << rowsDrawn << "F";            // back to the first live line
        if (columns != drawnColumns) err << "\x1b[J";  // the old lines may have rewrapped
    }
    const Clock::time_point now = Clock::now();
    for (const Port& port : ports) err << FittedLine(port, now, columns) << "\x1b[K\n";
    err << std::flush;
    drawn = true;
    rowsDrawn = ports.size();
    drawnColumns = columns;
    drawnAt = now;
}

void GangDisplay::Print(std::ostream& stream, const std::string& line) {
    if (drawn) {
        err << "\x1b[" << rowsDrawn << "F\x1b[J" << std::flush;
        drawn = false;
    }
    stream << line << "\n" << std::flush;
    Draw();
}

void GangDisplay::Waiting(size_t index, uint32_t board) {
    Port& port = ports[index];
    port.board = board;
    port.serial.reset();
    port.started = false;
    port.stuck = false;
    port.bytes = 0;
    port.lastTenth = 0;
    const bool next = repeat && board > 1;
    port.state = next ? "waiting for the next board" : "waiting for the boot loader";
    if (Live())
        Draw();
    else
        Print(err,
              Prefix(port) +
                  (next ? port.state : port.state + " at " + std::to_string(baudRate) + " baud") +
                  "...");
}

void GangDisplay::Ready(size_t index, uint32_t) {
    Port& port = ports[index];
    port.started = true;
    port.startedAt = Clock::now();
    port.endedAt.reset();
    port.state = "sending";
    if (Live())
        Draw();
    else
        Print(err, Prefix(port) + "progress: " + ProgressText(total, 0, 0));
}

void GangDisplay::Numbered(size_t index, uint32_t, uint64_t serial, uint16_t) {
    ports[index].serial = serial;
}

void GangDisplay::Progress(size_t index, uint32_t, uint8_t, uint64_t bytes) {
    Port& port = ports[index];
    port.bytes = bytes;
    const Clock::time_point now = Clock::now();
    if (Live()) {
        if (bytes == total || now - drawnAt >= kRedrawEvery) Draw();
        return;
    }
    const uint32_t tenth = total == 0 ? 10 : static_cast<uint32_t>(10 * bytes / total);
    if (tenth > port.lastTenth) {
        port.lastTenth = tenth;
        const double elapsed = std::chrono::duration<double>(now - port.startedAt).count();
        Print(err, Prefix(port) +
                       "progress: " + ProgressText(total, static_cast<uint32_t>(bytes), elapsed));
    }
}

void GangDisplay::Finished(size_t index, const BoardRecord& record) {
    Port& port = ports[index];
    const bool success = record.exitCode == kExitOk;
    (success ? port.succeeded : port.failed) += 1;
    port.board = record.board;
    port.serial = record.serial;
    port.state = OutcomeText(record.message);
    port.endedAt = Clock::now();
    if (const std::string problem = PortProblemLine(record); !problem.empty()) Print(err, problem);
    Print(success ? out : err, Prefix(port) + "Download" + record.message);
    if (const std::string why = ReasonLine(record); !why.empty()) Print(err, why);
    if (success) Print(err, Prefix(port) + EfficiencyLine(record));
    if (repeat && !Live()) Print(err, port.name + ": " + Tally(port.succeeded, port.failed));
}

void GangDisplay::Stuck(size_t index, uint32_t board) {
    Port& port = ports[index];
    port.board = board;
    port.stuck = true;
    port.state = kStuckText;
    if (Live())
        Draw();
    else
        Print(err, Prefix(port) + port.state);
}

void GangDisplay::PortProblem(size_t index, uint32_t, const std::string& text) {
    Port& port = ports[index];
    port.stuck = false;
    port.state = text;
    Print(err, "kestrune-cli: " + port.name + ": " + text);
}

void GangDisplay::LogProblem(size_t, const BoardRecord&, const std::string& row,
                             const std::string& reason) {
    Print(err, LogProblemLine(row, reason));
}

void GangDisplay::Summary() {
    if (drawn) Draw();
    drawn = false;  // the live lines stay on the screen, the summary goes below them
    uint32_t succeeded = 0, failed = 0;
    for (const Port& port : ports) {
        if (repeat) out << port.name << ": " << Tally(port.succeeded, port.failed) << "\n";
        succeeded += port.succeeded;
        failed += port.failed;
    }
    out << Tally(succeeded, failed) << "\n" << std::flush;
}

void GangDisplay::Monitor(size_t index, const std::string& line) {
    Print(out, ports[index].name + ": " + line);
}

void GangDisplay::Expect(size_t index, const std::string& text, bool seen) {
    Print(err, ExpectLine(ports[index].name, text, seen));
}

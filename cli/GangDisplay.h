// The human output of a download on several ports, or board after board.
// On a terminal (the error stream): one live line per port, redrawn in place,
// with the port, its board and tally in repeat mode, percent, bytes, rate and
// state. Each live line fits the terminal's width, so it takes one row: the
// tally, the port name and the rate are shortened first, then the byte count
// goes, and only then is the line cut. Below kLiveLineMinColumns, and when the
// error stream is no terminal, plain lines prefixed with the port instead
// ("COM7: progress: ..."); a resized terminal switches between the two.
// Each board's outcome line is prefixed the same way ("COM7: board 12:
// Download.....Success !"), with the board's serial number once it has one
// ("COM7: board 12: serial 1005: ..."), on standard output for success and on the error
// stream otherwise; a success adds the efficiency line. Summary() ends with
// the totals on standard output.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/PortRun.h"
#include "cli/TerminalWidth.h"

class GangDisplay : public PortObserver {
public:
    GangDisplay(std::ostream& out, std::ostream& err, bool terminal, std::vector<std::string> ports,
                uint32_t total, uint32_t baudRate, bool repeat);

    void Waiting(size_t port, uint32_t board) override;
    void Ready(size_t port, uint32_t board) override;
    void Numbered(size_t port, uint32_t board, uint64_t serial, uint16_t checksum) override;
    void Progress(size_t port, uint32_t board, uint8_t percent, uint64_t bytes) override;
    void Finished(size_t port, const BoardRecord& record) override;
    void Stuck(size_t port, uint32_t board) override;
    void PortProblem(size_t port, uint32_t board, const std::string& text) override;
    void Monitor(size_t port, const std::string& line) override;
    void Expect(size_t port, const std::string& text, bool seen) override;
    void LogProblem(size_t port, const BoardRecord& record, const std::string& row,
                    const std::string& reason) override;

    // Once every port has ended: "3 of 4 boards succeeded"; repeat mode
    // first gives each port's own count.
    void Summary();

private:
    using Clock = std::chrono::steady_clock;
    struct Port {
        std::string name;
        uint32_t board = 1;
        std::optional<uint64_t> serial;  // --serial: the number of the board on the line
        std::string state = "waiting for the boot loader";
        uint64_t bytes = 0;
        bool started = false;
        bool stuck = false;
        Clock::time_point startedAt{};
        std::optional<Clock::time_point> endedAt;  // the rate stays as it was at the end
        uint32_t lastTenth = 0;
        uint32_t succeeded = 0;
        uint32_t failed = 0;
    };

    std::string Prefix(const Port& port) const;
    // `shorter` 0 (all of it) to 3 (the fewest fields, the shortest forms).
    std::string LiveLine(const Port& port, Clock::time_point now, int shorter) const;
    std::string FittedLine(const Port& port, Clock::time_point now, size_t columns) const;
    bool Live();  // live lines now; erases them when the terminal became too narrow
    void Draw();
    void Print(std::ostream& stream, const std::string& line);  // above the live lines

    std::ostream& out;
    std::ostream& err;
    bool terminal;
    std::vector<Port> ports;
    uint32_t total;
    uint32_t baudRate;
    bool repeat;
    size_t nameWidth = 0;
    std::unique_ptr<TerminalWidth> width;  // on a terminal only
    bool drawn = false;  // the live lines are on the screen, the cursor below them
    size_t rowsDrawn = 0;
    size_t drawnColumns = 0;
    Clock::time_point drawnAt{};
};

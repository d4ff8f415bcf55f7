// The human output of a download on several ports, or board after board.
// On a terminal (the error stream): one live line per port, redrawn in place,
// with the port, its board and tally in repeat mode, percent, bytes, rate and
// state. Otherwise plain lines prefixed with the port ("COM7: progress: ...").
// Each board's outcome line is prefixed the same way ("COM7: board 12:
// Download.....Success !"), on standard output for success and on the error
// stream otherwise; a success adds the efficiency line. Summary() ends with
// the totals on standard output.
#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/PortRun.h"

class GangDisplay : public PortObserver {
public:
    GangDisplay(std::ostream& out, std::ostream& err, bool terminal, std::vector<std::string> ports,
                uint32_t total, uint32_t baudRate, bool repeat);

    void Waiting(size_t port, uint32_t board) override;
    void Ready(size_t port, uint32_t board) override;
    void Progress(size_t port, uint32_t board, uint8_t percent, uint64_t bytes) override;
    void Finished(size_t port, const BoardRecord& record) override;
    void Stuck(size_t port, uint32_t board) override;
    void PortProblem(size_t port, uint32_t board, const std::string& text) override;
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
    std::string LiveLine(const Port& port, Clock::time_point now) const;
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
    bool drawn = false;  // the live lines are on the screen, the cursor below them
    Clock::time_point drawnAt{};
};

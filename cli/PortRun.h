// One port's share of `kestrune-cli download`: it opens the port and runs the
// boot-loader exchange on its own thread with its own job record and stop
// cell, once or (repeat mode) board after board until a stop. What happens is
// told to a PortObserver; the displays, the log and the JSON events are
// observers, and ObserverList hands every event to each of them in turn.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "cli/BoardMonitor.h"
#include "cli/BoardRecord.h"
#include "cli/SerialCounter.h"
#include "isp/LinkProtocol.h"
#include "isp/ResetPulse.h"

// Called from the ports' threads; ObserverList makes the calls one at a time.
class PortObserver {
public:
    virtual ~PortObserver() = default;
    virtual void Waiting(size_t /*port*/, uint32_t /*board*/) {}  // for a board's Ready frame
    virtual void Ready(size_t /*port*/, uint32_t /*board*/) {}    // the header goes out
    // Just before Ready: the serial number this board's image carries, and
    // the checksum of that stamped image, which its header carries.
    virtual void Numbered(size_t /*port*/, uint32_t /*board*/, uint64_t /*serial*/,
                          uint16_t /*checksum*/) {}
    virtual void Progress(size_t /*port*/, uint32_t /*board*/, uint8_t /*percent*/,
                          uint64_t /*bytes*/) {}
    virtual void Finished(size_t /*port*/, const BoardRecord& /*record*/) {}
    // Repeat mode: board `board` has announced for kStuckAfter without a
    // pause, so it cannot be told from the board before; it is not taken.
    virtual void Stuck(size_t /*port*/, uint32_t /*board*/) {}
    // The port ends with no board in progress, e.g. "the device went away".
    virtual void PortProblem(size_t /*port*/, uint32_t /*board*/, const std::string& /*text*/) {}
    // The record of a board that ended could not be written: `row` is the
    // record as it would have been, `reason` the system's reason.
    virtual void LogProblem(size_t /*port*/, const BoardRecord& /*record*/,
                            const std::string& /*row*/, const std::string& /*reason*/) {}
    // --monitor: a line the board printed after its download, escaped.
    virtual void Monitor(size_t /*port*/, const std::string& /*line*/) {}
    // --expect: whether the text was seen before the monitor ended.
    virtual void Expect(size_t /*port*/, const std::string& /*text*/, bool /*seen*/) {}
};

class ObserverList : public PortObserver {
public:
    void Add(PortObserver& observer) { observers.push_back(&observer); }
    void Waiting(size_t port, uint32_t board) override;
    void Ready(size_t port, uint32_t board) override;
    void Numbered(size_t port, uint32_t board, uint64_t serial, uint16_t checksum) override;
    void Progress(size_t port, uint32_t board, uint8_t percent, uint64_t bytes) override;
    void Finished(size_t port, const BoardRecord& record) override;
    void Stuck(size_t port, uint32_t board) override;
    void PortProblem(size_t port, uint32_t board, const std::string& text) override;
    void LogProblem(size_t port, const BoardRecord& record, const std::string& row,
                    const std::string& reason) override;
    void Monitor(size_t port, const std::string& line) override;
    void Expect(size_t port, const std::string& text, bool seen) override;

private:
    // Recursive: an observer may report a problem of its own from within an
    // event (the log, when a row cannot be written).
    std::recursive_mutex mutex;
    std::vector<PortObserver*> observers;
};

struct PortWork {
    const std::vector<uint8_t>* image = nullptr;
    uint16_t checksum = 0;
    uint32_t baudRate = 115200;
    bool repeat = false;
    uint32_t quietReads = 0;  // repeat: the quiet gap before a new board, in reads
    // Set (by anyone, at any time): every port finishes the board in progress
    // and takes no further one. A port whose serial number counter fails sets it.
    std::atomic<bool>* takeNoMore = nullptr;
    // --serial: each board gets the counter's next number in its own copy of
    // the image, `format` at byte `offset`, before its header goes out.
    SerialCounter* serials = nullptr;
    SerialFormat serialFormat;
    uint32_t serialOffset = 0;
    ResetPulse reset;         // pulsed once, when the port opens
    MonitorSettings monitor;  // after a successful download (not with repeat)
};

// How long a board may announce without a pause before the line says so.
constexpr std::chrono::seconds kStuckAfter{10};

struct PortResult {
    // Once: the exit code of the outcome. Repeat: kExitOpenPortError when the
    // port did not open, else kExitBoardsFailed when any board that announced
    // failed or was left unflashed, else 0.
    int status = 0;
    uint32_t succeeded = 0;
    uint32_t failed = 0;
    // The counter could not give a number: the port stopped before that board.
    std::optional<CounterProblem> counterProblem;
};

int ExitCodeFor(Outcome outcome);

// Runs port number `index` (named `name`) until its work is done or
// `stopAll` holds STOP_REQUEST. Repeat mode counts and reports only boards
// that announced: a wait that ends with no board (a stop, the device gone,
// takeNoMore) adds no record, except for a board that was Stuck, which counts
// as not flashed. The port ends when its device has gone.
PortResult RunPort(size_t index, const std::string& name, const PortWork& work,
                   const std::atomic<uint8_t>& stopAll, PortObserver& observer);

// TargetLine over the master side of a pseudo-terminal.
// With a baud rate, both directions cost their line time (10 bit times per
// byte, like 8N1): a byte the host wrote is handed on only when it would have
// arrived on a real line, and a byte the target sends reaches the host only
// after its own line time; each direction is paced on its own (full duplex).
// The simulated device reacts in no time: a reply starts on the line at the
// moment the byte it answers arrived (or a pause or time-out ended), not when
// this process happens to wake up, and bytes are written on time to within a
// few microseconds; the scheduler's lateness is ours, not the line's.
// Every byte handed on or written goes to the trace, if there is one.
// A host closing its end is reported once; the line then waits for the next host.
#pragma once

#include <csignal>
#include <deque>
#include <optional>
#include <utility>

#include "target/Pseudoterminal.h"
#include "target/TargetLine.h"
#include "target/Trace.h"

class PtyLine : public TargetLine {
public:
    // `stopSignal` becomes non-zero when the process is asked to end.
    PtyLine(Pseudoterminal& pty, uint32_t baud, Trace* trace,
            const volatile std::sig_atomic_t& stopSignal);

    TimePoint Now() override { return Clock::now(); }
    Event Receive(uint8_t& byte, TimePoint deadline) override;
    void Send(const uint8_t* bytes, size_t count) override;
    void Announce(const uint8_t* bytes, size_t count) override;
    bool Pause(TimePoint until) override;
    void HangUp() override;

    // Traces whatever the host sent that the boot loader did not take.
    void Drain();

private:
    enum class Fill { Data, Nothing, Gone };
    Fill ReadPending();
    bool SleepUntil(TimePoint until);
    bool WaitPrecisely(TimePoint until);
    // Traced at `stamp` when given (byte i at stamp + i * `step`), else when
    // the bytes went out.
    void WriteAll(const uint8_t* bytes, size_t count, std::optional<TimePoint> stamp = std::nullopt,
                  Clock::duration step = {});
    bool Stopped() const { return stopSignal != 0; }

    Pseudoterminal& pty;
    int master;                   // -1 once hung up
    Clock::duration byteTime{0};  // zero: no pacing
    Trace* trace;
    const volatile std::sig_atomic_t& stopSignal;
    std::deque<std::pair<uint8_t, TimePoint>>
        pending;  // read from the terminal, with arrival times
    TimePoint receiveLineFree{};
    TimePoint sendLineFree{};
    TimePoint reactionPoint{};  // when what the target reacts to happened
    bool hostAway = false;      // the host closed its end and no new one has written yet
};

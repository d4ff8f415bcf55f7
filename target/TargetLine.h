// The target's end of the serial line, as the boot loader sees it: bytes from
// the host one at a time, frames to the host, and the line's own clock.
// PtyLine is the real one (a pseudo-terminal with optional baud pacing);
// tests drive the boot loader through a scripted line with a virtual clock.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

class TargetLine {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    enum class Event {
        Byte,         // a byte from the host
        TimedOut,     // nothing by the deadline
        HostGone,     // the host closed the line (reported once per closing)
        Interrupted,  // the process was asked to end
    };

    virtual ~TargetLine() = default;

    virtual TimePoint Now() = 0;

    // Waits until the next byte from the host has fully arrived, or `deadline`.
    virtual Event Receive(uint8_t& byte, TimePoint deadline) = 0;

    // Puts bytes on the line in order; returns when the last one has arrived
    // at the host's end.
    virtual void Send(const uint8_t* bytes, size_t count) = 0;

    // An announcement: like Send, but the wait for the line is slept, not
    // timed to the microsecond, and it may be dropped while no host is there.
    // Back-to-back announcing then costs almost no processor time.
    virtual void Announce(const uint8_t* bytes, size_t count) { Send(bytes, count); }

    // Waits until `until`; false when interrupted.
    virtual bool Pause(TimePoint until) = 0;

    // Ends the line for good, as an unplugged device does: the host's next
    // read or write fails.
    virtual void HangUp() = 0;
};

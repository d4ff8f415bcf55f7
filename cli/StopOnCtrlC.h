// Ctrl+C during a download asks for a stop, as the dialog's Stop button does:
// while a StopOnCtrlC lives, Ctrl+C (and Ctrl+Break on Windows) writes
// STOP_REQUEST into the given progress/stop cell. On POSIX a second Ctrl+C
// ends the program the usual way, should a stop take too long, and so do
// SIGTERM, SIGHUP, SIGQUIT and SIGPIPE (a write to a reader that went away);
// the open serial ports get their settings back and are released first.
#pragma once

#include <atomic>
#include <cstdint>

class StopOnCtrlC {
public:
    explicit StopOnCtrlC(std::atomic<uint8_t>& cell);
    ~StopOnCtrlC();
    StopOnCtrlC(const StopOnCtrlC&) = delete;
    StopOnCtrlC& operator=(const StopOnCtrlC&) = delete;
};

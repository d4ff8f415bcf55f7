// A program the tests start for real (kestrune-target, kestrune-cli): its
// standard output and error are collected through pipes, or its error stream
// goes to a terminal the test holds. Every wait is bounded; a child still
// running when the object goes away is killed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class ChildProcess {
public:
    using Seconds = std::chrono::duration<double>;

    // `stderrFd` >= 0: the child's error stream is that descriptor (e.g. a terminal).
    explicit ChildProcess(const std::vector<std::string>& argv, int stderrFd = -1);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of standard output, without its newline; nothing on time-out or end.
    std::optional<std::string> ReadLine(Seconds timeout = Seconds(10));

    // Exit status (128 + signal when killed by one); nothing when still running after `timeout`.
    std::optional<int> Wait(Seconds timeout);

    void Signal(int signal);
    pid_t Pid() const { return pid; }
    // Closes our end of its standard output: its next write there meets a
    // reader that went away (SIGPIPE), as with `| head`.
    void CloseOutput();

    // All output collected so far (after Wait: everything).
    const std::string& Out() const { return out; }
    const std::string& Err() const { return err; }

private:
    bool Collect(int timeoutMs);  // false when both pipes are closed

    pid_t pid = -1;
    int outFd = -1;
    int errFd = -1;
    std::string out, err;
    size_t outRead = 0;  // how much of `out` ReadLine has handed out
    std::optional<int> status;
};

// Runs a program to its end, bounded by `timeout`.
struct RunResult {
    int exitCode = -1;  // -1: did not end in time (it was killed)
    std::string out, err;
};
RunResult RunProgram(const std::vector<std::string>& argv, ChildProcess::Seconds timeout);

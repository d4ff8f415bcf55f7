// A run of kestrune-avrsim for a test, started with the given firmware and
// options. The test plays the host through OpenHost(), or lets a program
// (kestrune-cli) open Path(); one of them at a time. Ending the run (SIGTERM)
// gives its exit status; flash and the chip's output are then in files.
#pragma once

#include <csignal>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/SerialHost.h"

class SimulatedChip {
public:
    explicit SimulatedChip(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), KESTRUNE_AVRSIM_EXE);
        arguments.insert(arguments.end(), {"--timeout", "240"});  // never outlives a stuck test
        process = std::make_unique<ChildProcess>(arguments);
        const std::string line = process->ReadLine(ChildProcess::Seconds(30)).value_or("");
        if (line.rfind("pty ", 0) == 0) path = line.substr(4);
    }
    bool Started() const { return !path.empty(); }
    const std::string& Path() const { return path; }
    std::unique_ptr<test_support::SerialHost> OpenHost() const {
        return std::make_unique<test_support::SerialHost>(path);
    }
    void Reset() { process->Signal(SIGUSR1); }
    // Ends the run; its exit status (nothing when it would not end).
    std::optional<int> End() {
        process->Signal(SIGTERM);
        return process->Wait(ChildProcess::Seconds(60));
    }
    const std::string& Errors() const { return process->Err(); }

private:
    std::unique_ptr<ChildProcess> process;
    std::string path;
};

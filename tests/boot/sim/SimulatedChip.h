// A run of kestrune-avrsim for a test: started with the given firmware and
// options, its terminal opened as the host's serial port. Ending it (SIGTERM)
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
        if (!path.empty()) host = std::make_unique<test_support::SerialHost>(path);
    }
    bool Ready() const { return host && host->IsOpen(); }
    const std::string& Path() const { return path; }
    test_support::SerialHost& Host() { return *host; }
    void Reset() { process->Signal(SIGUSR1); }
    // Ends the run; its exit status (nothing when it would not end).
    std::optional<int> End() {
        host.reset();
        process->Signal(SIGTERM);
        return process->Wait(ChildProcess::Seconds(60));
    }
    const std::string& Errors() const { return process->Err(); }

private:
    std::unique_ptr<ChildProcess> process;
    std::string path;
    std::unique_ptr<test_support::SerialHost> host;
};

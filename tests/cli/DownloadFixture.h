// Shared by the tests that run kestrune-cli download against kestrune-target
// on real pseudo-terminals: a line with no boot loader, a fixture that starts
// targets and the CLI in a private folder, and one for several ports.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/TempFolder.h"

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

constexpr auto kGenerous = 120s;
const std::string kSampleHex = KESTRUNE_SAMPLES_DIR "/demo-firmware.hex";
const std::string kSampleBin = KESTRUNE_SAMPLES_DIR "/demo-firmware.bin";

// A pseudo-terminal that nobody answers on: a line with no boot loader.
using SilentLine = test_support::PseudoTerminal;

class Download : public ::testing::Test {
protected:
    std::unique_ptr<ChildProcess> StartTarget(std::vector<std::string> args) {
        args.insert(args.begin(), KESTRUNE_TARGET_EXE);
        args.insert(args.end(), {"--timeout", "200"});
        auto target = std::make_unique<ChildProcess>(args);
        port = target->ReadLine().value_or("");
        EXPECT_FALSE(port.empty());
        return target;
    }

    static std::vector<std::string> Cli(std::vector<std::string> args) {
        args.insert(args.begin(), KESTRUNE_CLI_EXE);
        return args;
    }

    RunResult RunDownload(const std::string& file, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"download", "--port", port};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(file);
        return RunProgram(Cli(args), kGenerous);
    }

    std::string Path(const std::string& name) const { return (dir / name).string(); }

    static Bytes Load(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    static void Save(const std::string& path, const Bytes& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    static Bytes Pattern(size_t size) {
        Bytes b(size);
        for (size_t i = 0; i < size; ++i) b[i] = uint8_t(i * 37 + (i >> 7));
        return b;
    }

    // Waits until the program's error stream holds `text`.
    static bool ErrorStreamShows(ChildProcess& child, const std::string& text) {
        for (int i = 0; i < 600; ++i) {
            if (child.Err().find(text) != std::string::npos) return true;
            if (child.Wait(100ms)) return false;
        }
        return false;
    }

    test_support::TempFolder folder{"kestrune-download-test"};
    const fs::path dir = folder.Path();
    std::string port;
};

// Several ports at once: one target per port.
class Gang : public Download {
protected:
    // One target per fault list; `ports` gets their terminals in order.
    void StartTargets(const std::vector<std::vector<std::string>>& faults) {
        for (const auto& fault : faults) {
            targets.push_back(StartTarget(fault));
            ports.push_back(port);
        }
    }

    std::vector<std::string> GangArgs(std::vector<std::string> extra, const std::string& file) {
        std::vector<std::string> args = {"download"};
        for (const std::string& p : ports) args.insert(args.end(), {"--port", p});
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(file);
        return Cli(args);
    }

    // The rows of a CSV file without quoted fields, split at commas.
    static std::vector<std::vector<std::string>> CsvRows(const std::string& path) {
        std::vector<std::vector<std::string>> rows;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            std::vector<std::string> fields;
            std::stringstream cells(line);
            for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
            rows.push_back(fields);
        }
        return rows;
    }

    std::vector<std::unique_ptr<ChildProcess>> targets;
    std::vector<std::string> ports;
};

// Every line of `text` that contains `part`.
inline std::vector<std::string> LinesWith(const std::string& text, const std::string& part) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (line.find(part) != std::string::npos) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}
